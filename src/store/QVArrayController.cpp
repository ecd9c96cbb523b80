#include "store/QVArrayController.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "store/ManagedObjectContext.h"
#include "store/StoreErrorCode.h"

namespace miravel {

namespace {

using ObjectPointer = std::shared_ptr<ManagedObject>;

struct IndexedObject {
    int index;
    ObjectPointer object;
};

// The first component of a sort key path: the attribute whose change can move the object.
std::string_view sortAttribute(const std::string& key) {
    return std::string_view(key).substr(0, key.find('.'));
}

}  // namespace

QVArrayController::QVArrayController(FetchRequest request, ManagedObjectContext* context)
    : m_request(std::move(request)) {
    setManagedObjectContext(context);
}

QVArrayController::~QVArrayController() = default;

void QVArrayController::setFetchPredicate(std::optional<Predicate> predicate) {
    m_request.predicate = std::move(predicate);
}

void QVArrayController::setSortDescriptors(std::vector<SortDescriptor> keys) {
    m_overrideKeys = std::move(keys);
    if (!m_overrideKeys.empty()) {
        arrangeObjects();
    }
}

void QVArrayController::arrangeObjects() {
    if (m_overrideKeys.empty()) {
        return;
    }
    std::stable_sort(m_arranged.begin(), m_arranged.end(), [&](const auto& a, const auto& b) {
        return compareBySortDescriptors(m_overrideKeys, *a, *b) < 0;
    });
}

Result<void> QVArrayController::performFetch() {
    m_overrideKeys.clear();
    if (m_context == nullptr) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "The list is not attached to a library.");
    }
    auto objects = m_context->executeFetchRequest(m_request);
    if (!objects) {
        return std::unexpected(objects.error());
    }
    m_arranged = std::move(*objects);
    rememberMembers();
    return {};
}

void QVArrayController::rememberMembers() {
    m_members.clear();
    m_members.reserve(m_arranged.size());
    for (const auto& object : m_arranged) {
        m_members.insert(object.get());
    }
}

void QVArrayController::setManagedObjectContext(ManagedObjectContext* context) {
    m_observation.reset();
    m_context = context;
    if (context == nullptr) {
        return;
    }
    m_observation = context->notificationCenter().addObserver(
        kObjectsDidChangeNotification, context, [this](const Notification& notification) {
            if (const auto* changes = std::any_cast<ObjectsDidChange>(&notification.userInfo)) {
                objectsDidChange(*changes);
            }
        });
}

const std::vector<SortDescriptor>& QVArrayController::activeSortKeys() const {
    return m_overrideKeys.empty() ? m_request.sortDescriptors : m_overrideKeys;
}

int QVArrayController::compare(const ManagedObject& a, const ManagedObject& b) const {
    return compareBySortDescriptors(activeSortKeys(), a, b);
}

bool QVArrayController::passes(const ManagedObject& object) const {
    return !m_request.predicate || m_request.predicate->evaluate(object);
}

void QVArrayController::objectsDidChange(const ObjectsDidChange& changes) {
    auto ofEntity = [&](const ObjectPointer& object) {
        return object->entity().name == m_request.entityName;
    };
    std::vector<ObjectPointer> deleted;
    std::vector<ObjectPointer> inserted;
    std::copy_if(changes.deleted.begin(), changes.deleted.end(), std::back_inserter(deleted),
                 ofEntity);
    std::copy_if(changes.inserted.begin(), changes.inserted.end(), std::back_inserter(inserted),
                 ofEntity);
    std::unordered_set<ManagedObject*> refreshed;
    std::vector<ObjectPointer> changed;
    std::unordered_set<ManagedObject*> seen;
    for (const auto* group : {&changes.updated, &changes.refreshed}) {
        for (const auto& object : *group) {
            if (ofEntity(object) && seen.insert(object.get()).second) {
                changed.push_back(object);
            }
        }
    }
    for (const auto& object : changes.refreshed) {
        refreshed.insert(object.get());
    }
    if (deleted.empty() && inserted.empty() && changed.empty()) {
        return;
    }

    auto& members = m_members;

    // Which of the changed objects leave, enter, move or only change in place.
    std::vector<ObjectPointer> moved;
    std::vector<ObjectPointer> updated;
    for (const auto& object : changed) {
        bool member = members.contains(object.get());
        bool matches = passes(*object);
        if (member && !matches) {
            deleted.push_back(object);
        } else if (!member && matches) {
            inserted.push_back(object);
        } else if (member) {
            bool keyChanged = refreshed.contains(object.get());
            if (auto keys = changes.changedKeys.find(object->objectID());
                !keyChanged && keys != changes.changedKeys.end()) {
                for (const auto& key : activeSortKeys()) {
                    if (keys->second.contains(std::string(sortAttribute(key.key)))) {
                        keyChanged = true;
                        break;
                    }
                }
            }
            (keyChanged ? moved : updated).push_back(object);
        }
    }
    std::unordered_set<ManagedObject*> leaving;
    std::erase_if(deleted, [&](const ObjectPointer& object) {
        return !members.contains(object.get()) || !leaving.insert(object.get()).second;
    });
    std::unordered_set<ManagedObject*> entering;
    std::erase_if(inserted, [&](const ObjectPointer& object) {
        return members.contains(object.get()) || leaving.contains(object.get()) ||
               !passes(*object) || !entering.insert(object.get()).second;
    });
    if (deleted.empty() && inserted.empty() && moved.empty() && updated.empty()) {
        return;
    }

    if (m_delegate != nullptr) {
        m_delegate->controllerWillChangeContent(*this);
    }

    // Take out every deleted and moved object in one pass, remembering where it was.
    std::unordered_set<ManagedObject*> removing = leaving;
    for (const auto& object : moved) {
        removing.insert(object.get());
    }
    std::vector<IndexedObject> removedDeleted;
    std::vector<IndexedObject> removedMoved;
    std::vector<ObjectPointer> kept;
    kept.reserve(m_arranged.size());
    for (std::size_t i = 0; i < m_arranged.size(); ++i) {
        ManagedObject* raw = m_arranged[i].get();
        if (!removing.contains(raw)) {
            kept.push_back(std::move(m_arranged[i]));
        } else if (leaving.contains(raw)) {
            removedDeleted.push_back({static_cast<int>(i), std::move(m_arranged[i])});
        } else {
            removedMoved.push_back({static_cast<int>(i), std::move(m_arranged[i])});
        }
    }

    // Put the inserted and moved objects back at their sorted places. Merging a sorted batch
    // gives exactly what inserting them one by one (each before its equals) would: among
    // equal newcomers the later one ends up first.
    std::vector<ObjectPointer> arriving = inserted;
    for (const auto& entry : removedMoved) {
        arriving.push_back(entry.object);
    }
    std::vector<std::size_t> order(arriving.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        int byKeys = compare(*arriving[a], *arriving[b]);
        return byKeys != 0 ? byKeys < 0 : a > b;
    });
    std::vector<ObjectPointer> merged;
    merged.reserve(kept.size() + arriving.size());
    std::size_t next = 0;
    for (std::size_t position : order) {
        const ObjectPointer& newcomer = arriving[position];
        // Halving over what is left of the kept objects: few comparisons even in long lists.
        std::size_t low = next;
        std::size_t high = kept.size();
        while (low < high) {
            std::size_t middle = (low + high) / 2;
            if (compare(*newcomer, *kept[middle]) <= 0) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        while (next < low) {
            merged.push_back(std::move(kept[next++]));
        }
        merged.push_back(newcomer);
    }
    while (next < kept.size()) {
        merged.push_back(std::move(kept[next++]));
    }
    m_arranged = std::move(merged);
    for (ManagedObject* gone : leaving) {
        members.erase(gone);
    }
    for (const auto& object : inserted) {
        members.insert(object.get());
    }

    if (m_delegate != nullptr && m_delegate->takesObjectChanges()) {
        std::unordered_map<ManagedObject*, int> indexOf;
        std::unordered_set<ManagedObject*> wanted;
        for (const auto* group : {&inserted, &updated}) {
            for (const auto& object : *group) {
                wanted.insert(object.get());
            }
        }
        for (const auto& entry : removedMoved) {
            wanted.insert(entry.object.get());
        }
        for (std::size_t i = 0; i < m_arranged.size(); ++i) {
            if (wanted.contains(m_arranged[i].get())) {
                indexOf[m_arranged[i].get()] = static_cast<int>(i);
            }
        }
        auto byIndex = [&](std::vector<ObjectPointer>& objects) {
            std::sort(objects.begin(), objects.end(), [&](const auto& a, const auto& b) {
                return indexOf[a.get()] < indexOf[b.get()];
            });
        };
        byIndex(inserted);
        byIndex(updated);
        for (const auto& object : inserted) {
            m_delegate->controller(*this, object, -1, ChangeType::Insert, indexOf[object.get()]);
        }
        for (const auto& entry : removedDeleted) {
            m_delegate->controller(*this, entry.object, entry.index, ChangeType::Delete, -1);
        }
        for (const auto& object : updated) {
            m_delegate->controller(*this, object, indexOf[object.get()], ChangeType::Update, -1);
        }
        for (const auto& entry : removedMoved) {
            m_delegate->controller(*this, entry.object, entry.index, ChangeType::Move,
                                   indexOf[entry.object.get()]);
        }
    }
    if (m_delegate != nullptr) {
        m_delegate->controllerDidChangeContent(*this);
    }
}

}  // namespace miravel
