#pragma once

#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "lib/Error.h"
#include "lib/NotificationCenter.h"
#include "store/FetchRequest.h"

namespace miravel {

class ManagedObject;
class ManagedObjectContext;
class QVArrayController;
struct ObjectsDidChange;

// What happened to one object of a live result.
enum class ChangeType : int { Insert = 1, Delete = 2, Update = 3, Move = 4 };

// Hears about changes to a live result, on the main thread. Every operation is optional.
class QVArrayControllerDelegate {
public:
    virtual ~QVArrayControllerDelegate() = default;

    virtual void controllerWillChangeContent(QVArrayController&) {}
    // One call per changed object. An index that does not apply is -1: an insertion has no
    // old index; a deletion and an update have no new one.
    virtual void controller(QVArrayController&, const std::shared_ptr<ManagedObject>& object,
                            int index, ChangeType type, int newIndex) {
        (void)object, (void)index, (void)type, (void)newIndex;
    }
    virtual void controllerDidChangeContent(QVArrayController&) {}
    // Lists that simply reload in controllerDidChangeContent can skip the per-object calls.
    virtual bool takesObjectChanges() const { return true; }
};

// A sorted query result that follows the store: it listens to its context's change
// notification, works out which changed objects enter the result, leave it, move in it or
// only change inside it, applies that to arrangedObjects in place and reports each change.
// Every list of the application stands on one.
class QVArrayController {
public:
    // initWithFetchRequest:managedObjectContext: — starts empty; performFetch fills it.
    QVArrayController(FetchRequest request, ManagedObjectContext* context);
    ~QVArrayController();
    QVArrayController(const QVArrayController&) = delete;
    QVArrayController& operator=(const QVArrayController&) = delete;

    const FetchRequest& fetchRequest() const { return m_request; }
    void setFetchPredicate(std::optional<Predicate> predicate);
    // How many objects the next performFetch reads at most; 0 reads them all.
    void setFetchLimit(std::size_t limit) { m_request.fetchLimit = limit; }
    // Keys that replace the request's own for ordering in memory (the user sorted by a
    // column); with keys the objects are re-sorted at once, with none the keys are dropped.
    void setSortDescriptors(std::vector<SortDescriptor> keys);
    const std::vector<SortDescriptor>& sortDescriptors() const { return m_overrideKeys; }
    void arrangeObjects();

    // Runs the request. On failure arrangedObjects stays as it was.
    [[nodiscard]] Result<void> performFetch();

    // Observes another context; none detaches the controller, which then hears nothing.
    void setManagedObjectContext(ManagedObjectContext* context);
    ManagedObjectContext* managedObjectContext() const { return m_context; }

    const std::vector<std::shared_ptr<ManagedObject>>& arrangedObjects() const {
        return m_arranged;
    }
    void setDelegate(QVArrayControllerDelegate* delegate) { m_delegate = delegate; }
    QVArrayControllerDelegate* delegate() const { return m_delegate; }

private:
    const std::vector<SortDescriptor>& activeSortKeys() const;
    int compare(const ManagedObject& a, const ManagedObject& b) const;
    bool passes(const ManagedObject& object) const;
    void objectsDidChange(const ObjectsDidChange& changes);
    void rememberMembers();

    FetchRequest m_request;
    ManagedObjectContext* m_context = nullptr;
    Observation m_observation;
    std::vector<SortDescriptor> m_overrideKeys;
    std::vector<std::shared_ptr<ManagedObject>> m_arranged;
    // The objects of m_arranged, for telling members from newcomers without a search.
    std::unordered_set<ManagedObject*> m_members;
    QVArrayControllerDelegate* m_delegate = nullptr;
};

}  // namespace miravel
