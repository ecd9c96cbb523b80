#include "model/SyncedObject.h"

#include "lib/Crypto.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "model/Library.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

const Predicate& livePredicate() {
    static const Predicate live = Predicate::fromTrustedFormat(kLiveStatusPredicate);
    return live;
}

Predicate livePredicateAnd(std::string_view format, ValueList arguments) {
    return Predicate::andPredicate(
        {livePredicate(), Predicate::fromTrustedFormat(format, std::move(arguments))});
}

bool isLoggedIn(const ManagedObjectContext& context) {
    const Library* library = Library::of(context);
    return library != nullptr && library->isLoggedIn();
}

void SyncedObject::awakeFromInsert() {
    setValue("uid", newUid());
    // Stored now rather than by the getter later: a getter's default is an unsaved change of
    // the context that reads it, and the main context's own changes win over a merged save,
    // so a sync's "unmodified" would be lost there and the object sent again.
    setValue("status", std::string(kStatusModified));
}

std::string SyncedObject::uid() const {
    if (auto stored = text("uid")) {
        return *stored;
    }
    std::string created = newUid();
    storeDefault("uid", created);
    return created;
}

void SyncedObject::setUid(std::string uid) {
    setValue("uid", std::move(uid));
}

std::string SyncedObject::status() const {
    if (auto stored = text("status")) {
        return *stored;
    }
    storeDefault("status", kStatusModified);
    return kStatusModified;
}

void SyncedObject::setStatus(std::string status) {
    setValue("status", std::move(status));
}

std::int64_t SyncedObject::orderFlag() const {
    if (auto stored = integer("orderFlag")) {
        return *stored;
    }
    storeDefault("orderFlag", std::int64_t{0});
    return 0;
}

void SyncedObject::setOrderFlag(std::int64_t orderFlag) {
    setValue("orderFlag", orderFlag);
}

std::string SyncedObject::objectData() const {
    auto dictionary = objectDictionary();
    return dictionary ? JsonWriter::write(JsonValue(std::move(*dictionary))) : std::string();
}

std::string SyncedObject::generateHash() const {
    return sha256Hex(objectData());
}

bool SyncedObject::isReallyDeleted() const {
    return managedObjectContext() == nullptr || isDeleted() || text("status") == kStatusDeleted;
}

void SyncedObject::deleteObjects(ManagedObjectContext& context,
                                 const std::vector<std::shared_ptr<SyncedObject>>& objects) {
    bool keepTombstones = isLoggedIn(context);
    for (const auto& object : objects) {
        if (!object || object->isReallyDeleted()) {
            continue;
        }
        if (keepTombstones) {
            object->setStatus(kStatusDeleted);
        } else {
            context.deleteObject(object);
        }
    }
}

std::int64_t SyncedObject::nextOrderFlag(ManagedObjectContext& context, std::string_view entityName,
                                         const std::optional<std::string>& extraPredicate,
                                         const ValueList& arguments) {
    const Predicate predicate =
        extraPredicate ? livePredicateAnd(*extraPredicate, arguments) : livePredicate();
    auto maximum = context.maximum(entityName, "orderFlag", predicate);
    if (!maximum) {
        logUnresolvedError(maximum.error());
        return 1;
    }
    return (maximum->isInteger() ? maximum->asInteger() : 0) + 1;
}

JsonValue SyncedObject::textMember(std::string_view attribute) const {
    auto stored = text(attribute);
    return stored ? JsonValue(*stored) : JsonValue();
}

JsonValue SyncedObject::integerMember(std::string_view attribute) const {
    auto stored = integer(attribute);
    return stored ? JsonValue(*stored) : JsonValue();
}

JsonValue SyncedObject::booleanMember(std::string_view attribute) const {
    auto stored = boolean(attribute);
    return stored ? JsonValue(*stored) : JsonValue();
}

JsonValue SyncedObject::dateMember(std::string_view attribute) const {
    auto stored = date(attribute);
    return stored ? JsonValue(formatDateText(*stored)) : JsonValue();
}

JsonValue SyncedObject::deletedMember() const {
    return JsonValue(text("status") == kStatusDeleted);
}

}  // namespace miravel
