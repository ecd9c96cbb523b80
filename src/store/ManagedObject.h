#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/EntityDescription.h"
#include "store/KeyValueSource.h"
#include "store/Value.h"

namespace miravel {

class ManagedObjectContext;
class ManagedObject;

// One object of the store, owned by the context that fetched or inserted it and used only on
// that context's thread. It keeps its attribute values and relationships, the values last
// saved (to write only what changed and to merge saves of other contexts property by
// property), and the names of the keys changed since the last save.
//
// Const getters may write: values a partial fetch left unread are loaded on first use, and
// some entities store a default their getter works out (a grocery item's aisle). That is safe
// only because an object never leaves its context's thread; never hand one to another thread.
class ManagedObject : public KeyValueSource, public std::enable_shared_from_this<ManagedObject> {
public:
    explicit ManagedObject(const EntityDescription& entity);
    ~ManagedObject() override = default;
    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

    const EntityDescription& entity() const { return *m_entity; }
    ObjectID objectID() const { return m_id; }
    // The owning context; null once the object was removed from the store or its context ended.
    ManagedObjectContext* managedObjectContext() const { return m_context; }

    // Reading an attribute the fetch left out loads every missing one of the row first.
    const Value& value(std::string_view attribute) const;
    // The same by the attribute's index in the entity.
    const Value& valueAt(std::size_t index) const;
    void setValue(std::string_view attribute, Value value);
    // Texts, booleans and integers; absent values give nothing.
    std::optional<std::string> text(std::string_view attribute) const;
    std::optional<bool> boolean(std::string_view attribute) const;
    std::optional<std::int64_t> integer(std::string_view attribute) const;
    std::optional<Timestamp> date(std::string_view attribute) const;

    // To-one relationships.
    ObjectID toOneID(std::string_view relationship) const;
    std::shared_ptr<ManagedObject> toOne(std::string_view relationship) const;
    void setToOne(std::string_view relationship, const std::shared_ptr<ManagedObject>& target);

    // To-many relationships, loaded from the store on first use. Both sides of a relationship
    // are kept in step: adding a category to a recipe adds the recipe to the category.
    std::vector<ObjectID> toManyIDs(std::string_view relationship) const;
    std::vector<std::shared_ptr<ManagedObject>> toMany(std::string_view relationship) const;
    bool hasInToMany(std::string_view relationship, ObjectID target) const;
    void addToMany(std::string_view relationship, const std::shared_ptr<ManagedObject>& target);
    void removeFromMany(std::string_view relationship,
                        const std::shared_ptr<ManagedObject>& target);

    bool isInserted() const { return m_inserted; }
    bool isDeleted() const { return m_deleted; }
    // Changed since the last save (and not just inserted or deleted).
    bool isUpdated() const { return !m_inserted && !m_deleted && !m_changedKeys.empty(); }
    bool hasChanges() const { return m_inserted || m_deleted || !m_changedKeys.empty(); }
    const std::set<std::string>& changedKeys() const { return m_changedKeys; }

    // Whether an attribute is in memory: false only for one a partial fetch left out and
    // nothing has read since.
    bool hasLoaded(std::string_view attribute) const;
    bool isPartlyLoaded() const { return m_unloaded != 0; }

    Value valueForKeyPath(std::string_view keyPath) const override;

    // The collation key last made from `text` for this object, or null: lists sorted by name
    // again and again (a search as the user types) make each key once. Any text of the object
    // may be given; the key is valid for exactly the text it was made from.
    const std::string* cachedCollationKey(std::string_view text) const {
        return m_collationKey && m_collationKey->text == text ? &m_collationKey->key : nullptr;
    }
    void keepCollationKey(std::string_view text, std::string_view key) const {
        m_collationKey = std::make_unique<CollationKey>(std::string(text), std::string(key));
    }

protected:
    // Called once when the object is inserted into a context.
    virtual void awakeFromInsert() {}
    // Called once when a deletion of the object is processed, before relationships are cut.
    virtual void prepareForDeletion() {}
    // Stores a value that a getter defaults (a missing uid or status): it is saved, but not
    // reported as a change to observers, since nothing the user sees changed.
    void storeDefault(std::string_view attribute, Value value) const;

private:
    friend class ManagedObjectContext;

    struct ToMany {
        bool loaded = false;
        std::vector<ObjectID> committed;  // sorted
        std::vector<ObjectID> current;    // sorted
    };

    bool isUnloaded(std::size_t index) const {
        return index < 64 && ((m_unloaded >> index) & 1U) != 0;
    }
    // Reads the attributes still missing from the store, before a read or write needs one.
    void loadMissingValues() const;
    // Takes the values of the attributes in `read` (bit i: attribute i) that are not loaded.
    void takeMissingValues(std::vector<Value>& values, std::uint64_t read);
    int relationshipIndex(std::string_view relationship, bool toMany) const;
    bool reachesToMany(const std::string& entityName, std::string_view keyPath) const;
    ToMany& loadedToMany(std::size_t index) const;
    void markChanged(const std::string& key, bool notify);
    // Copies the values as last saved before the first change to them.
    void keepCommittedValues();
    void linkInverse(const RelationshipDescription& relationship, ManagedObject& target, bool add);
    // Used by the context on the other side of a relationship, without re-linking back.
    void insertIntoToMany(std::size_t index, ObjectID target);
    void eraseFromToMany(std::size_t index, ObjectID target);

    const EntityDescription* m_entity;
    ObjectID m_id;
    ManagedObjectContext* m_context = nullptr;
    std::vector<Value> m_values;
    // Bit i: attribute i was left out by a partial fetch and is still unread (null here).
    std::uint64_t m_unloaded = 0;
    // The values as last saved; empty while they equal m_values, so that fetching a row
    // does not copy every text of it a second time.
    std::vector<Value> m_committedValues;
    std::vector<ObjectID> m_toOne;
    std::vector<ObjectID> m_committedToOne;
    mutable std::vector<ToMany> m_toMany;
    struct CollationKey {
        std::string text;
        std::string key;
    };
    mutable std::unique_ptr<CollationKey> m_collationKey;
    std::set<std::string> m_changedKeys;
    bool m_inserted = false;
    bool m_deleted = false;
    bool m_deletionPrepared = false;
    bool m_insertUnreported = false;  // inserted since the context last told observers
};

}  // namespace miravel
