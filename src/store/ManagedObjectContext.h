#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lib/Error.h"
#include "store/FetchRequest.h"
#include "store/ManagedObject.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

class MainQueue;
class NotificationCenter;

// How a context resolves a property changed both in it (unsaved) and by another context's
// save being merged in.
enum class MergePolicy {
    InMemoryWins,  // the main context: the user's unsaved edit stays
    StoreWins,     // background work: the saved value replaces the unsaved one
};

// The payload of kObjectsDidChangeNotification: what changed in a context since the last
// time it processed its changes, and per updated or refreshed object the changed keys.
struct ObjectsDidChange {
    std::vector<std::shared_ptr<ManagedObject>> inserted;
    std::vector<std::shared_ptr<ManagedObject>> updated;
    std::vector<std::shared_ptr<ManagedObject>> deleted;
    std::vector<std::shared_ptr<ManagedObject>> refreshed;  // changed by a merged save
    std::unordered_map<ObjectID, std::set<std::string>, ObjectIDHash> changedKeys;

    bool empty() const {
        return inserted.empty() && updated.empty() && deleted.empty() && refreshed.empty();
    }
};

// The payload of kContextDidSaveNotification: what one save wrote.
struct ContextDidSave {
    std::vector<ObjectID> inserted;
    std::vector<ObjectID> updated;
    std::vector<ObjectID> deleted;
    // Per updated object, the keys the save wrote. A context merging the save reports these
    // for attributes it has not loaded, whose earlier values it cannot compare.
    std::unordered_map<ObjectID, std::set<std::string>, ObjectIDHash> updatedKeys = {};
};

// A unit of work on the store, used by one thread: it registers the objects it fetched (one
// object per row), tracks inserts, edits and deletions, and saves them in one transaction.
// After processing changes it posts kObjectsDidChangeNotification (object: the context);
// after a save, kContextDidSaveNotification with the ContextDidSave.
// What a context belongs to beyond its store: the model layer's library, which its objects
// reach through their context. The store only keeps the pointer.
class ContextOwner {
public:
    virtual ~ContextOwner() = default;

protected:
    ContextOwner() = default;
};

class ManagedObjectContext {
public:
    ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator,
                         MergePolicy policy, NotificationCenter* center = nullptr);
    virtual ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext&) = delete;
    ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

    const std::shared_ptr<PersistentStoreCoordinator>& coordinator() const { return m_coordinator; }
    MergePolicy mergePolicy() const { return m_policy; }
    NotificationCenter& notificationCenter() const { return *m_center; }

    // The main context processes its changes at the end of each turn of the main queue, as
    // the screens expect; other contexts when they save or are asked to.
    void processChangesOnQueue(MainQueue* queue) { m_queue = queue; }
    MainQueue* processingQueue() const { return m_queue; }

    // Null for a context that belongs to no library (a bare store, as the tools use).
    ContextOwner* owner() const { return m_owner; }
    void setOwner(ContextOwner* owner) { m_owner = owner; }

    std::shared_ptr<ManagedObject> insertNewObject(std::string_view entityName);
    template <typename T>
    std::shared_ptr<T> insert() {
        return std::static_pointer_cast<T>(insertNewObject(T::kEntityName));
    }
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    [[nodiscard]] Result<std::vector<std::shared_ptr<ManagedObject>>> executeFetchRequest(
        const FetchRequest& request);
    template <typename T>
    [[nodiscard]] Result<std::vector<std::shared_ptr<T>>> fetch(
        std::optional<Predicate> predicate = std::nullopt, std::vector<SortDescriptor> sort = {}) {
        auto objects = executeFetchRequest(
            FetchRequest{T::kEntityName, std::move(predicate), std::move(sort), 0, true});
        if (!objects) {
            return std::unexpected(objects.error());
        }
        std::vector<std::shared_ptr<T>> typed;
        typed.reserve(objects->size());
        for (auto& object : *objects) {
            typed.push_back(std::static_pointer_cast<T>(object));
        }
        return typed;
    }
    [[nodiscard]] Result<std::size_t> countForFetchRequest(const FetchRequest& request);
    // The largest value of one attribute among the objects the predicate selects, unsaved
    // changes included; null when none.
    [[nodiscard]] Result<Value> maximum(std::string_view entityName, std::string_view attribute,
                                        const std::optional<Predicate>& predicate);

    // The object with this id: the registered one, or loaded from the store; null when the
    // store has no such row or the object is deleted here.
    std::shared_ptr<ManagedObject> objectWithID(ObjectID id);
    std::shared_ptr<ManagedObject> registeredObject(ObjectID id) const;
    std::size_t registeredCount() const { return m_registered.size(); }

    bool hasChanges() const;
    // Writes every change in one transaction. On failure nothing is written and the changes
    // stay pending.
    [[nodiscard]] Result<void> save();
    // Applies deletion rules and tells observers what changed since the last time.
    void processPendingChanges();
    // Brings in what another context saved, under this context's merge policy.
    void mergeChangesFromContextDidSave(const ContextDidSave& changes);
    // Forgets every unsaved change.
    void rollback();

private:
    friend class ManagedObject;

    std::shared_ptr<ManagedObject> makeObject(const EntityDescription& entity, ObjectID id);
    // The registered object of the row, or a new one; `read` names the attributes the row
    // holds, which also fill in those a registered object has not loaded yet.
    std::shared_ptr<ManagedObject> registerRow(const EntityDescription& entity, StoredRow row,
                                               AttributeMask read = kAllAttributes);
    // Reads from the store the attributes of `wanted` that objects of `entity` have not loaded,
    // in one query.
    void loadMissingValues(const EntityDescription& entity,
                           const std::vector<ManagedObject*>& objects, AttributeMask wanted);
    void loadMissingValues(ManagedObject& object);
    void noteChanged(ManagedObject& object, const std::string& key);
    void scheduleProcessing();
    void propagateDeletion(ManagedObject& object);
    void forgetObject(ObjectID id);
    bool hasPendingChanges(const EntityDescription& entity) const;
    [[nodiscard]] Result<SqlWhere> compileWhere(const EntityDescription& entity,
                                                const std::optional<Predicate>& predicate) const;
    // The held objects of `ids`, in order, reading the rows of the others; nothing when most
    // of them are not held.
    [[nodiscard]] Result<std::optional<std::vector<std::shared_ptr<ManagedObject>>>>
    heldObjectsFirst(const EntityDescription& entity, const std::vector<std::int64_t>& ids,
                     AttributeMask read);
    // What each row's object lacks (everything for rows the context does not hold).
    PersistentStoreCoordinator::RowAttributes lackingAttributes(
        const EntityDescription& entity) const;
    // From this many registered objects of an entity on, fetches ask for ids first.
    static constexpr std::size_t kHeldBeforeIdsFirst = 1000;
    [[nodiscard]] Result<std::vector<std::shared_ptr<ManagedObject>>> fetchWithPendingChanges(
        const EntityDescription& entity, const FetchRequest& request, const std::string& where,
        const ValueList& bindings, AttributeMask read);

    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
    MergePolicy m_policy;
    NotificationCenter* m_center;
    MainQueue* m_queue = nullptr;
    ContextOwner* m_owner = nullptr;
    bool m_processingScheduled = false;
    // Lets a processing task posted to the queue notice that the context is gone.
    std::shared_ptr<bool> m_alive;
    std::unordered_map<ObjectID, std::shared_ptr<ManagedObject>, ObjectIDHash> m_registered;
    // How many objects of each entity are registered.
    std::unordered_map<const EntityDescription*, std::size_t> m_heldCount;
    // Since the last save.
    std::set<std::shared_ptr<ManagedObject>> m_inserted;
    std::set<std::shared_ptr<ManagedObject>> m_deleted;
    std::set<std::shared_ptr<ManagedObject>> m_updated;
    // Since the last processing, for observers.
    std::vector<std::shared_ptr<ManagedObject>> m_toPrepare;  // deleted, rules not yet applied
    std::vector<std::shared_ptr<ManagedObject>> m_unprocessedInserted;
    std::vector<std::shared_ptr<ManagedObject>> m_unprocessedDeleted;
    std::map<std::shared_ptr<ManagedObject>, std::set<std::string>> m_unprocessedUpdated;
};

}  // namespace miravel
