#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/JsonValue.h"
#include "store/ManagedObject.h"
#include "store/Predicate.h"

namespace miravel {

class ManagedObjectContext;

// Sync status values.
inline constexpr const char* kStatusModified = "modified";
inline constexpr const char* kStatusUnmodified = "unmodified";
inline constexpr const char* kStatusDeleted = "deleted";

// The filter every user-facing list applies to hide tombstones.
inline constexpr const char* kLiveStatusPredicate = "status != 'deleted' || status == nil";
// The same, parsed once; and the live objects that also match `format`, a format written in
// the program (Predicate::fromTrustedFormat).
const Predicate& livePredicate();
Predicate livePredicateAnd(std::string_view format, ValueList arguments = {});

// Whether the library that `context` belongs to is signed in to its sync account. Deletions
// keep tombstones for the sync engine while signed in; signed out, objects are removed at
// once. A context of no library is never signed in.
bool isLoggedIn(const ManagedObjectContext& context);

// What the five synced entities share: their identity with the server (uid), their sync
// status, their user order, and their dictionary form.
class SyncedObject : public ManagedObject {
public:
    using ManagedObject::ManagedObject;

    // A missing uid or status is filled in (and saved) by the getter.
    std::string uid() const;
    void setUid(std::string uid);
    std::string status() const;
    void setStatus(std::string status);
    std::int64_t orderFlag() const;
    void setOrderFlag(std::int64_t orderFlag);

    // The form that travels to the service and into recipe files; nothing for entities
    // without one.
    virtual std::optional<JsonObject> objectDictionary() const { return std::nullopt; }
    // The dictionary form as JSON text (the byte-exact form hashes are computed over).
    std::string objectData() const;
    // SHA-256 of objectData, 64 lower-case hex digits.
    std::string generateHash() const;

    // Removed from the store, out of any context, or a tombstone.
    bool isReallyDeleted() const;

    // Deletes as the user means it: a tombstone while signed in, removal otherwise. Objects
    // already deleted are skipped. The caller saves.
    static void deleteObjects(ManagedObjectContext& context,
                              const std::vector<std::shared_ptr<SyncedObject>>& objects);

    // The next position at the end of an entity's live objects: the highest orderFlag plus one
    // (1 when there are none). `extraPredicate` narrows the objects (a day's meals).
    static std::int64_t nextOrderFlag(ManagedObjectContext& context, std::string_view entityName,
                                      const std::optional<std::string>& extraPredicate = {},
                                      const ValueList& arguments = {});

protected:
    void awakeFromInsert() override;
    void setText(std::string_view attribute, std::optional<std::string> value) {
        setValue(attribute, value ? Value(std::move(*value)) : Value());
    }
    // Common value encodings of the dictionary form.
    JsonValue textMember(std::string_view attribute) const;
    JsonValue integerMember(std::string_view attribute) const;
    JsonValue booleanMember(std::string_view attribute) const;
    JsonValue dateMember(std::string_view attribute) const;
    JsonValue deletedMember() const;
};

}  // namespace miravel
