#include "store/ManagedObject.h"

#include <algorithm>

#include "lib/Log.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

const Value& nullValue() {
    static const Value null;
    return null;
}

void insertSorted(std::vector<ObjectID>& ids, ObjectID id) {
    auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) {
        ids.insert(it, id);
    }
}

bool eraseSorted(std::vector<ObjectID>& ids, ObjectID id) {
    auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) {
        return false;
    }
    ids.erase(it);
    return true;
}

}  // namespace

ManagedObject::ManagedObject(const EntityDescription& entity)
    : m_entity(&entity),
      m_values(entity.attributes.size()),
      m_toOne(entity.relationships.size()),
      m_committedToOne(entity.relationships.size()),
      m_toMany(entity.relationships.size()) {}

const Value& ManagedObject::value(std::string_view attribute) const {
    int index = m_entity->attributeIndex(attribute);
    if (index < 0) {
        logLine("{} has no attribute {}", m_entity->name, attribute);
        return nullValue();
    }
    return valueAt(static_cast<std::size_t>(index));
}

const Value& ManagedObject::valueAt(std::size_t index) const {
    if (isUnloaded(index)) {
        loadMissingValues();
    }
    return m_values[index];
}

bool ManagedObject::hasLoaded(std::string_view attribute) const {
    int index = m_entity->attributeIndex(attribute);
    return index >= 0 && !isUnloaded(static_cast<std::size_t>(index));
}

void ManagedObject::loadMissingValues() const {
    if (m_unloaded == 0) {
        return;
    }
    // Filling in what the store holds changes nothing the object stands for.
    auto& self = const_cast<ManagedObject&>(*this);
    if (m_context == nullptr) {
        logLine("{} {} left its context before its values were read", m_entity->name, m_id.row);
        self.m_unloaded = 0;
        return;
    }
    m_context->loadMissingValues(self);
}

void ManagedObject::takeMissingValues(std::vector<Value>& values, std::uint64_t read) {
    for (std::size_t i = 0; i < m_values.size() && i < 64; ++i) {
        if (!isUnloaded(i) || !includesAttribute(read, i)) {
            continue;
        }
        // A copy of the saved values made since the fetch holds a placeholder here too.
        if (!m_committedValues.empty()) {
            m_committedValues[i] = values[i];
        }
        m_values[i] = std::move(values[i]);
        m_unloaded &= ~(std::uint64_t{1} << i);
    }
}

void ManagedObject::setValue(std::string_view attribute, Value value) {
    int index = m_entity->attributeIndex(attribute);
    if (index < 0) {
        logLine("{} has no attribute {}", m_entity->name, attribute);
        return;
    }
    if (isUnloaded(static_cast<std::size_t>(index))) {
        // The saved value must be known: rollback and merges go back to it.
        loadMissingValues();
    }
    Value& slot = m_values[static_cast<std::size_t>(index)];
    if (slot == value && slot.storage().index() == value.storage().index()) {
        return;
    }
    keepCommittedValues();
    slot = std::move(value);
    markChanged(std::string(attribute), true);
}

void ManagedObject::keepCommittedValues() {
    if (m_committedValues.empty()) {
        m_committedValues = m_values;
    }
}

void ManagedObject::storeDefault(std::string_view attribute, Value value) const {
    // A getter filling in a missing value: logically const, but the value must be saved.
    auto& self = const_cast<ManagedObject&>(*this);
    int index = m_entity->attributeIndex(attribute);
    if (index < 0) {
        return;
    }
    if (isUnloaded(static_cast<std::size_t>(index))) {
        loadMissingValues();
    }
    self.keepCommittedValues();
    self.m_values[static_cast<std::size_t>(index)] = std::move(value);
    self.markChanged(std::string(attribute), false);
}

std::optional<std::string> ManagedObject::text(std::string_view attribute) const {
    const Value& stored = value(attribute);
    return stored.isText() ? std::optional<std::string>(stored.asText()) : std::nullopt;
}

std::optional<bool> ManagedObject::boolean(std::string_view attribute) const {
    const Value& stored = value(attribute);
    if (stored.isBoolean()) {
        return stored.asBoolean();
    }
    return stored.isInteger() ? std::optional<bool>(stored.asInteger() != 0) : std::nullopt;
}

std::optional<std::int64_t> ManagedObject::integer(std::string_view attribute) const {
    const Value& stored = value(attribute);
    if (stored.isInteger()) {
        return stored.asInteger();
    }
    return stored.isBoolean() ? std::optional<std::int64_t>(stored.asBoolean() ? 1 : 0)
                              : std::nullopt;
}

std::optional<Timestamp> ManagedObject::date(std::string_view attribute) const {
    const Value& stored = value(attribute);
    return stored.isDate() ? std::optional<Timestamp>(stored.asDate()) : std::nullopt;
}

void ManagedObject::markChanged(const std::string& key, bool notify) {
    if (m_context == nullptr) {
        return;
    }
    if (!m_inserted && !m_deleted) {
        m_changedKeys.insert(key);
        m_context->m_updated.insert(shared_from_this());
    }
    if (notify) {
        m_context->noteChanged(*this, key);
    }
}

int ManagedObject::relationshipIndex(std::string_view relationship, bool toMany) const {
    for (std::size_t i = 0; i < m_entity->relationships.size(); ++i) {
        const auto& description = m_entity->relationships[i];
        if (description.name == relationship && description.toMany == toMany) {
            return static_cast<int>(i);
        }
    }
    logLine("{} has no {} relationship {}", m_entity->name, toMany ? "to-many" : "to-one",
            relationship);
    return -1;
}

ObjectID ManagedObject::toOneID(std::string_view relationship) const {
    int index = relationshipIndex(relationship, false);
    return index < 0 ? ObjectID{} : m_toOne[static_cast<std::size_t>(index)];
}

std::shared_ptr<ManagedObject> ManagedObject::toOne(std::string_view relationship) const {
    ObjectID id = toOneID(relationship);
    if (id.isNull() || m_context == nullptr) {
        return nullptr;
    }
    return m_context->objectWithID(id);
}

ManagedObject::ToMany& ManagedObject::loadedToMany(std::size_t index) const {
    ToMany& state = m_toMany[index];
    if (state.loaded) {
        return state;
    }
    state.loaded = true;
    if (m_context == nullptr || m_inserted) {
        return state;
    }
    auto ids =
        m_context->coordinator()->relatedIds(*m_entity, m_entity->relationships[index], m_id.row);
    if (!ids) {
        logUnresolvedError(ids.error());
        return state;
    }
    std::sort(ids->begin(), ids->end());
    state.committed = *ids;
    state.current = std::move(*ids);
    return state;
}

std::vector<ObjectID> ManagedObject::toManyIDs(std::string_view relationship) const {
    int index = relationshipIndex(relationship, true);
    if (index < 0) {
        return {};
    }
    return loadedToMany(static_cast<std::size_t>(index)).current;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObject::toMany(
    std::string_view relationship) const {
    std::vector<std::shared_ptr<ManagedObject>> objects;
    if (m_context == nullptr) {
        return objects;
    }
    for (ObjectID id : toManyIDs(relationship)) {
        if (auto object = m_context->objectWithID(id)) {
            objects.push_back(std::move(object));
        }
    }
    return objects;
}

bool ManagedObject::hasInToMany(std::string_view relationship, ObjectID target) const {
    int index = relationshipIndex(relationship, true);
    if (index < 0) {
        return false;
    }
    const auto& ids = loadedToMany(static_cast<std::size_t>(index)).current;
    return std::binary_search(ids.begin(), ids.end(), target);
}

void ManagedObject::insertIntoToMany(std::size_t index, ObjectID target) {
    auto& ids = loadedToMany(index).current;
    auto before = ids.size();
    insertSorted(ids, target);
    if (ids.size() != before) {
        markChanged(m_entity->relationships[index].name, true);
    }
}

void ManagedObject::eraseFromToMany(std::size_t index, ObjectID target) {
    if (eraseSorted(loadedToMany(index).current, target)) {
        markChanged(m_entity->relationships[index].name, true);
    }
}

// Keeps the other side of `relationship` in step after this object gained or lost `target`.
void ManagedObject::linkInverse(const RelationshipDescription& relationship, ManagedObject& target,
                                bool add) {
    if (m_context == nullptr) {
        return;
    }
    const RelationshipDescription* inverse =
        m_context->coordinator()->model().inverseOf(*m_entity, relationship);
    if (inverse == nullptr) {
        return;
    }
    int inverseIndex = target.relationshipIndex(inverse->name, inverse->toMany);
    if (inverseIndex < 0) {
        return;
    }
    auto index = static_cast<std::size_t>(inverseIndex);
    if (inverse->toMany) {
        if (add) {
            target.insertIntoToMany(index, m_id);
        } else {
            target.eraseFromToMany(index, m_id);
        }
        return;
    }
    ObjectID previous = target.m_toOne[index];
    ObjectID wanted = add ? m_id : ObjectID{};
    if (previous == wanted) {
        return;
    }
    // Moving the target away from its previous owner: that owner's list loses it.
    if (add && !previous.isNull()) {
        if (auto owner = m_context->objectWithID(previous)) {
            int ownerIndex = owner->relationshipIndex(relationship.name, relationship.toMany);
            if (ownerIndex >= 0 && relationship.toMany) {
                owner->eraseFromToMany(static_cast<std::size_t>(ownerIndex), target.m_id);
            }
        }
    }
    target.m_toOne[index] = wanted;
    target.markChanged(inverse->name, true);
}

void ManagedObject::setToOne(std::string_view relationship,
                             const std::shared_ptr<ManagedObject>& target) {
    int index = relationshipIndex(relationship, false);
    if (index < 0) {
        return;
    }
    const auto& description = m_entity->relationships[static_cast<std::size_t>(index)];
    ObjectID previous = m_toOne[static_cast<std::size_t>(index)];
    ObjectID wanted = target ? target->objectID() : ObjectID{};
    if (previous == wanted) {
        return;
    }
    if (!previous.isNull() && m_context != nullptr) {
        if (auto old = m_context->objectWithID(previous)) {
            linkInverse(description, *old, false);
        }
    }
    m_toOne[static_cast<std::size_t>(index)] = wanted;
    markChanged(description.name, true);
    if (target) {
        linkInverse(description, *target, true);
    }
}

void ManagedObject::addToMany(std::string_view relationship,
                              const std::shared_ptr<ManagedObject>& target) {
    int index = relationshipIndex(relationship, true);
    if (index < 0 || !target) {
        return;
    }
    auto& ids = loadedToMany(static_cast<std::size_t>(index)).current;
    if (std::binary_search(ids.begin(), ids.end(), target->objectID())) {
        return;
    }
    insertSorted(ids, target->objectID());
    const auto& description = m_entity->relationships[static_cast<std::size_t>(index)];
    markChanged(description.name, true);
    linkInverse(description, *target, true);
}

void ManagedObject::removeFromMany(std::string_view relationship,
                                   const std::shared_ptr<ManagedObject>& target) {
    int index = relationshipIndex(relationship, true);
    if (index < 0 || !target) {
        return;
    }
    if (!eraseSorted(loadedToMany(static_cast<std::size_t>(index)).current, target->objectID())) {
        return;
    }
    const auto& description = m_entity->relationships[static_cast<std::size_t>(index)];
    markChanged(description.name, true);
    linkInverse(description, *target, false);
}

// Whether a key path from `entityName` passes through a to-many relationship: its value is
// then a list, an empty one when a to-one step on the way has no object.
bool ManagedObject::reachesToMany(const std::string& entityName, std::string_view keyPath) const {
    if (m_context == nullptr) {
        return false;
    }
    const ManagedObjectModel& model = m_context->coordinator()->model();
    const EntityDescription* entity = model.entity(entityName);
    while (entity != nullptr && !keyPath.empty()) {
        auto dot = keyPath.find('.');
        std::string_view head = keyPath.substr(0, dot);
        const RelationshipDescription* relationship = entity->relationship(head);
        if (relationship == nullptr) {
            return false;
        }
        if (relationship->toMany) {
            return true;
        }
        entity = model.entity(relationship->destination);
        keyPath = dot == std::string_view::npos ? std::string_view() : keyPath.substr(dot + 1);
    }
    return false;
}

Value ManagedObject::valueForKeyPath(std::string_view keyPath) const {
    std::string_view head = keyPath;
    std::string_view rest;
    if (auto dot = keyPath.find('.'); dot != std::string_view::npos) {
        head = keyPath.substr(0, dot);
        rest = keyPath.substr(dot + 1);
    }
    if (int index = m_entity->attributeIndex(head); index >= 0) {
        if (!rest.empty()) {
            return Value();
        }
        auto slot = static_cast<std::size_t>(index);
        if (isUnloaded(slot)) {
            loadMissingValues();
        }
        return m_values[slot];
    }
    const RelationshipDescription* relationship = m_entity->relationship(head);
    if (relationship == nullptr) {
        return Value();
    }
    if (!relationship->toMany) {
        ObjectID id = toOneID(head);
        if (rest.empty() || id.isNull()) {
            return id.isNull() ? Value() : Value(id);
        }
        auto target = toOne(head);
        if (target) {
            return target->valueForKeyPath(rest);
        }
        return reachesToMany(relationship->destination, rest) ? Value(ValueList{}) : Value();
    }
    ValueList values;
    for (ObjectID id : toManyIDs(head)) {
        if (rest.empty()) {
            values.emplace_back(id);
        } else if (m_context != nullptr) {
            if (auto target = m_context->objectWithID(id)) {
                values.push_back(target->valueForKeyPath(rest));
            }
        }
    }
    return Value(std::move(values));
}

}  // namespace miravel
