#include "store/ManagedObjectContext.h"

#include <algorithm>
#include <atomic>
#include <unordered_set>

#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "store/ObjectSorting.h"
#include "store/SqlValue.h"
#include "store/StoreErrorCode.h"

namespace miravel {

namespace {

// Selects the rows whose ids are in the list bound to it.
constexpr const char* kRowsWithIds = "t.id IN (SELECT value FROM json_each(?))";

// The ORDER BY for sort keys the store can apply itself (plain attributes compared by value
// or by the user's language); empty when some key needs sorting in memory.
std::optional<std::string> sqlOrder(const EntityDescription& entity,
                                    const std::vector<SortDescriptor>& keys) {
    std::string order;
    for (const auto& key : keys) {
        if (key.comparator || entity.attribute(key.key) == nullptr) {
            return std::nullopt;
        }
        order += "t." + quotedSqlIdentifier(key.key);
        if (key.comparison == SortDescriptor::Comparison::LocalizedCaseInsensitive) {
            order += " COLLATE LOCALIZED";
        }
        order += key.ascending ? " ASC, " : " DESC, ";
    }
    // Equal keys fall back to the row order, here and in memory alike.
    return order + "t.id ASC";
}

// The attributes a request reads: those it names, and the ones it sorts by, which sorting in
// memory would otherwise load one row at a time; all of them when it names none.
Result<AttributeMask> attributesToFetch(const EntityDescription& entity,
                                        const FetchRequest& request) {
    if (request.propertiesToFetch.empty()) {
        return kAllAttributes;
    }
    AttributeMask mask = 0;
    auto add = [&](std::string_view key) {
        int index = entity.attributeIndex(key);
        if (index >= 0 && index < 64) {
            mask |= AttributeMask{1} << index;
        }
        // Attributes past the 64th are always read; to-one relationships come with every
        // row, and to-many ones load on first use.
        return index >= 0 || entity.relationship(key) != nullptr;
    };
    for (const auto& property : request.propertiesToFetch) {
        if (!add(property)) {
            return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                             "The entity " + entity.name + " has no property " + property + ".");
        }
    }
    for (const auto& key : request.sortDescriptors) {
        add(std::string_view(key.key).substr(0, key.key.find('.')));
    }
    return mask;
}

void sortAndLimit(std::vector<std::shared_ptr<ManagedObject>>& objects,
                  const FetchRequest& request) {
    sortObjects(objects, request.sortDescriptors);
    if (request.fetchLimit > 0 && objects.size() > request.fetchLimit) {
        objects.resize(request.fetchLimit);
    }
}

}  // namespace

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator,
                                           MergePolicy policy, NotificationCenter* center)
    : m_coordinator(std::move(coordinator)),
      m_policy(policy),
      m_center(center != nullptr ? center : &NotificationCenter::defaultCenter()),
      m_alive(std::make_shared<bool>(true)) {}

ManagedObjectContext::~ManagedObjectContext() {
    *m_alive = false;
    for (auto& [id, object] : m_registered) {
        object->m_context = nullptr;
    }
}

std::shared_ptr<ManagedObject> ManagedObjectContext::makeObject(const EntityDescription& entity,
                                                                ObjectID id) {
    std::shared_ptr<ManagedObject> object = entity.makeObject != nullptr
                                                ? entity.makeObject(entity)
                                                : std::make_shared<ManagedObject>(entity);
    object->m_id = id;
    object->m_context = this;
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::registerRow(const EntityDescription& entity,
                                                                 StoredRow row,
                                                                 AttributeMask read) {
    ObjectID id{&entity, row.id};
    if (auto it = m_registered.find(id); it != m_registered.end()) {
        // What the object already holds stays (it may be an unsaved edit); only what it lacks
        // is taken from the row.
        if (it->second->m_unloaded != 0) {
            it->second->takeMissingValues(row.values, read);
        }
        return it->second;
    }
    auto object = makeObject(entity, id);
    object->m_values = std::move(row.values);
    for (std::size_t i = 0; i < entity.attributes.size() && i < 64; ++i) {
        if (!includesAttribute(read, i)) {
            object->m_unloaded |= std::uint64_t{1} << i;
        }
    }
    object->m_committedToOne = row.toOne;
    object->m_toOne = std::move(row.toOne);
    m_registered.emplace(id, object);
    ++m_heldCount[&entity];
    return object;
}

void ManagedObjectContext::loadMissingValues(const EntityDescription& entity,
                                             const std::vector<ManagedObject*>& objects,
                                             AttributeMask wanted) {
    AttributeMask missing = 0;
    ValueList ids;
    std::unordered_map<std::int64_t, ManagedObject*> byRow;
    for (ManagedObject* object : objects) {
        if ((object->m_unloaded & wanted) != 0) {
            missing |= object->m_unloaded & wanted;
            ids.emplace_back(object->m_id.row);
            byRow.emplace(object->m_id.row, object);
        }
    }
    if (ids.empty()) {
        return;
    }
    auto rows =
        m_coordinator->fetchRows(entity, kRowsWithIds, {Value(std::move(ids))}, "", 0, missing);
    if (!rows) {
        // The values stay unloaded, and the next read tries again.
        logUnresolvedError(rows.error());
        return;
    }
    for (auto& row : *rows) {
        if (auto it = byRow.find(row.id); it != byRow.end()) {
            it->second->takeMissingValues(row.values, missing);
            byRow.erase(it);
        }
    }
    // Rows another context or program deleted: their values are gone, and read as none.
    for (auto& [row, object] : byRow) {
        logLine("{} {} is no longer in the library; its unread values are empty", entity.name, row);
        object->m_unloaded &= ~missing;
    }
}

void ManagedObjectContext::loadMissingValues(ManagedObject& object) {
    loadMissingValues(object.entity(), {&object}, kAllAttributes);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(std::string_view entityName) {
    const EntityDescription* entity = m_coordinator->model().entity(entityName);
    if (entity == nullptr) {
        logLine("No entity named {} in the model {}", entityName, m_coordinator->model().name());
        return nullptr;
    }
    auto row = m_coordinator->newRowId(*entity);
    if (!row) {
        // The save will meet the same failure and report it; the object still exists here.
        logUnresolvedError(row.error());
        // Negative ids are never the store's; one counter for every context and thread keeps
        // them apart.
        static std::atomic<std::int64_t> temporary = 0;
        row = temporary.fetch_sub(1) - 1;
    }
    auto object = makeObject(*entity, ObjectID{entity, *row});
    object->m_inserted = true;
    for (auto& state : object->m_toMany) {
        state.loaded = true;
    }
    m_registered.emplace(object->objectID(), object);
    ++m_heldCount[entity];
    m_inserted.insert(object);
    m_unprocessedInserted.push_back(object);
    object->m_insertUnreported = true;
    object->awakeFromInsert();
    scheduleProcessing();
    return object;
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    if (!object || object->m_context != this || object->m_deleted) {
        return;
    }
    object->m_deleted = true;
    m_updated.erase(object);
    if (object->m_insertUnreported) {
        // Observers never saw it: nothing to report.
        std::erase(m_unprocessedInserted, object);
        object->m_insertUnreported = false;
    } else {
        m_unprocessedDeleted.push_back(object);
    }
    m_unprocessedUpdated.erase(object);
    if (object->m_inserted) {
        m_inserted.erase(object);
    } else {
        m_deleted.insert(object);
    }
    m_toPrepare.push_back(object);
    scheduleProcessing();
}

void ManagedObjectContext::noteChanged(ManagedObject& object, const std::string& key) {
    // Changes to an object whose insertion is still to be reported are part of that insertion.
    if (object.m_deleted || object.m_insertUnreported) {
        return;
    }
    m_unprocessedUpdated[object.shared_from_this()].insert(key);
    scheduleProcessing();
}

void ManagedObjectContext::scheduleProcessing() {
    if (m_queue == nullptr || m_processingScheduled) {
        return;
    }
    m_processingScheduled = true;
    std::weak_ptr<bool> alive = m_alive;
    m_queue->post([this, alive] {
        if (auto flag = alive.lock(); flag && *flag) {
            processPendingChanges();
        }
    });
}

void ManagedObjectContext::propagateDeletion(ManagedObject& object) {
    const ManagedObjectModel& model = m_coordinator->model();
    const EntityDescription& entity = object.entity();
    for (std::size_t i = 0; i < entity.relationships.size(); ++i) {
        const auto& relationship = entity.relationships[i];
        const RelationshipDescription* inverse = model.inverseOf(entity, relationship);
        std::vector<ObjectID> related;
        if (relationship.toMany) {
            related = object.loadedToMany(i).current;
        } else if (!object.m_toOne[i].isNull()) {
            related.push_back(object.m_toOne[i]);
        }
        for (ObjectID id : related) {
            auto target = objectWithID(id);
            if (!target || target->m_deleted) {
                continue;
            }
            if (relationship.deleteRule == DeleteRule::Cascade) {
                deleteObject(target);
                continue;
            }
            if (inverse == nullptr) {
                continue;
            }
            int inverseIndex = target->relationshipIndex(inverse->name, inverse->toMany);
            if (inverseIndex < 0) {
                continue;
            }
            if (inverse->toMany) {
                target->eraseFromToMany(static_cast<std::size_t>(inverseIndex), object.m_id);
            } else if (target->m_toOne[static_cast<std::size_t>(inverseIndex)] == object.m_id) {
                target->m_toOne[static_cast<std::size_t>(inverseIndex)] = ObjectID{};
                target->markChanged(inverse->name, true);
            }
        }
    }
}

void ManagedObjectContext::processPendingChanges() {
    m_processingScheduled = false;
    // Deletion rules may delete more objects (cascades, a recipe's meals): run until settled.
    while (!m_toPrepare.empty()) {
        auto batch = std::exchange(m_toPrepare, {});
        for (auto& object : batch) {
            if (object->m_deletionPrepared) {
                continue;
            }
            object->m_deletionPrepared = true;
            object->prepareForDeletion();
            propagateDeletion(*object);
        }
    }
    ObjectsDidChange changes;
    changes.inserted = std::exchange(m_unprocessedInserted, {});
    for (const auto& object : changes.inserted) {
        object->m_insertUnreported = false;
    }
    changes.deleted = std::exchange(m_unprocessedDeleted, {});
    for (auto& [object, keys] : std::exchange(m_unprocessedUpdated, {})) {
        if (object->m_deleted || object->m_context != this) {
            continue;
        }
        changes.changedKeys[object->objectID()] = keys;
        changes.updated.push_back(object);
    }
    if (!changes.empty()) {
        m_center->post(kObjectsDidChangeNotification, this, std::move(changes));
    }
}

Result<SqlWhere> ManagedObjectContext::compileWhere(
    const EntityDescription& entity, const std::optional<Predicate>& predicate) const {
    if (!predicate) {
        return SqlWhere{};
    }
    return predicate->toSql(m_coordinator->model(), entity, "t", &m_coordinator->searchIndexes());
}

std::shared_ptr<ManagedObject> ManagedObjectContext::registeredObject(ObjectID id) const {
    auto it = m_registered.find(id);
    return it == m_registered.end() ? nullptr : it->second;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectWithID(ObjectID id) {
    if (id.isNull()) {
        return nullptr;
    }
    if (auto it = m_registered.find(id); it != m_registered.end()) {
        return it->second->m_deleted ? nullptr : it->second;
    }
    auto row = m_coordinator->fetchRow(*id.entity, id.row);
    if (!row) {
        logUnresolvedError(row.error());
        return nullptr;
    }
    if (!row->has_value()) {
        return nullptr;
    }
    return registerRow(*id.entity, std::move(**row));
}

bool ManagedObjectContext::hasChanges() const {
    return !m_inserted.empty() || !m_deleted.empty() || !m_updated.empty();
}

bool ManagedObjectContext::hasPendingChanges(const EntityDescription& entity) const {
    auto ofEntity = [&](const auto& objects) {
        return std::any_of(objects.begin(), objects.end(),
                           [&](const auto& object) { return &object->entity() == &entity; });
    };
    return ofEntity(m_inserted) || ofEntity(m_deleted) || ofEntity(m_updated);
}

Result<std::vector<std::shared_ptr<ManagedObject>>> ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    const EntityDescription* entity = m_coordinator->model().entity(request.entityName);
    if (entity == nullptr) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "No entity named " + request.entityName + " in the library.");
    }
    auto where = compileWhere(*entity, request.predicate);
    if (!where) {
        return std::unexpected(where.error());
    }
    auto read = attributesToFetch(*entity, request);
    if (!read) {
        return std::unexpected(read.error());
    }
    if (request.includesPendingChanges && hasPendingChanges(*entity)) {
        return fetchWithPendingChanges(*entity, request, where->sql, where->bindings, *read);
    }
    // SQLite orders by a name in the user's language by collating both names at every
    // comparison; in memory each name's collation key is made once, several times faster
    // for a long list. Only a limited fetch leaves that order to the store.
    const bool localizedFirst = !request.sortDescriptors.empty() &&
                                request.sortDescriptors.front().comparison ==
                                    SortDescriptor::Comparison::LocalizedCaseInsensitive;
    auto order = localizedFirst && request.fetchLimit == 0
                     ? std::nullopt
                     : sqlOrder(*entity, request.sortDescriptors);
    const std::size_t limit = order ? request.fetchLimit : 0;
    // A context holding many objects of the entity (the list shown a moment ago) asks the
    // store which rows match and reads only those it lacks: for the rows it holds, reading
    // their columns again costs more than the search itself.
    if (auto held = m_heldCount.find(entity);
        held != m_heldCount.end() && held->second >= kHeldBeforeIdsFirst) {
        auto ids = m_coordinator->fetchIds(*entity, where->sql, where->bindings, order.value_or(""),
                                           limit);
        if (!ids) {
            return std::unexpected(ids.error());
        }
        auto objects = heldObjectsFirst(*entity, *ids, *read);
        if (!objects) {
            return std::unexpected(objects.error());
        }
        if (*objects) {
            if (!order) {
                sortAndLimit(**objects, request);
            }
            return std::move(**objects);
        }
    }
    auto rows = m_coordinator->fetchRows(*entity, where->sql, where->bindings, order.value_or(""),
                                         limit, *read, lackingAttributes(*entity));
    if (!rows) {
        return std::unexpected(rows.error());
    }
    std::vector<std::shared_ptr<ManagedObject>> objects;
    objects.reserve(rows->size());
    for (auto& row : *rows) {
        objects.push_back(registerRow(*entity, std::move(row), *read));
    }
    if (!order) {
        sortAndLimit(objects, request);
    }
    return objects;
}

// Rows this context already holds need only what their objects have not loaded.
PersistentStoreCoordinator::RowAttributes ManagedObjectContext::lackingAttributes(
    const EntityDescription& entity) const {
    return [this, &entity](std::int64_t row) {
        auto it = m_registered.find(ObjectID{&entity, row});
        return it == m_registered.end() ? kAllAttributes : it->second->m_unloaded;
    };
}

Result<std::optional<std::vector<std::shared_ptr<ManagedObject>>>>
ManagedObjectContext::heldObjectsFirst(const EntityDescription& entity,
                                       const std::vector<std::int64_t>& ids, AttributeMask read) {
    std::vector<std::shared_ptr<ManagedObject>> objects(ids.size());
    ValueList missing;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        auto it = m_registered.find(ObjectID{&entity, ids[i]});
        if (it != m_registered.end() && (it->second->m_unloaded & read) == 0) {
            objects[i] = it->second;
        } else {
            missing.emplace_back(ids[i]);
        }
    }
    // Mostly rows new to the context: one read of the whole result is cheaper.
    if (missing.size() * 2 > ids.size()) {
        return std::nullopt;
    }
    if (!missing.empty()) {
        auto rows = m_coordinator->fetchRows(entity, kRowsWithIds, {Value(std::move(missing))}, "",
                                             0, read, lackingAttributes(entity));
        if (!rows) {
            return std::unexpected(rows.error());
        }
        for (auto& row : *rows) {
            registerRow(entity, std::move(row), read);
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (!objects[i]) {
                objects[i] = registeredObject(ObjectID{&entity, ids[i]});
            }
        }
        // A row deleted by another process between the two reads is not listed.
        std::erase(objects, nullptr);
    }
    return objects;
}

// The store answers for saved rows; the context's unsaved inserts, edits and deletions are
// then laid over that answer, testing the predicate in memory where the store cannot know.
Result<std::vector<std::shared_ptr<ManagedObject>>> ManagedObjectContext::fetchWithPendingChanges(
    const EntityDescription& entity, const FetchRequest& request, const std::string& where,
    const ValueList& bindings, AttributeMask read) {
    auto ids = m_coordinator->fetchIds(entity, where, bindings);
    if (!ids) {
        return std::unexpected(ids.error());
    }
    auto passes = [&](const ManagedObject& object) {
        return !request.predicate || request.predicate->evaluate(object);
    };
    std::vector<std::shared_ptr<ManagedObject>> objects;
    std::unordered_set<std::int64_t> seen;
    ValueList toLoad;
    std::vector<ManagedObject*> toComplete;
    for (std::int64_t row : *ids) {
        seen.insert(row);
        auto object = registeredObject(ObjectID{&entity, row});
        if (!object) {
            toLoad.emplace_back(row);
        } else if (!object->m_deleted && (!object->hasChanges() || passes(*object))) {
            toComplete.push_back(object.get());
            objects.push_back(std::move(object));
        }
    }
    if (!toLoad.empty()) {
        auto rows =
            m_coordinator->fetchRows(entity, kRowsWithIds, {Value(std::move(toLoad))}, "", 0, read);
        if (!rows) {
            return std::unexpected(rows.error());
        }
        for (auto& row : *rows) {
            objects.push_back(registerRow(entity, std::move(row), read));
        }
    }
    for (const auto* pending : {&m_inserted, &m_updated}) {
        for (const auto& object : *pending) {
            if (&object->entity() == &entity && !object->m_deleted &&
                !seen.contains(object->objectID().row) && passes(*object)) {
                seen.insert(object->objectID().row);
                toComplete.push_back(object.get());
                objects.push_back(object);
            }
        }
    }
    loadMissingValues(entity, toComplete, read);
    sortAndLimit(objects, request);
    return objects;
}

Result<std::size_t> ManagedObjectContext::countForFetchRequest(const FetchRequest& request) {
    const EntityDescription* entity = m_coordinator->model().entity(request.entityName);
    if (entity == nullptr) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "No entity named " + request.entityName + " in the library.");
    }
    if (request.includesPendingChanges && hasPendingChanges(*entity)) {
        auto objects = executeFetchRequest(request);
        if (!objects) {
            return std::unexpected(objects.error());
        }
        return objects->size();
    }
    auto where = compileWhere(*entity, request.predicate);
    if (!where) {
        return std::unexpected(where.error());
    }
    auto count = m_coordinator->count(*entity, where->sql, where->bindings);
    if (!count) {
        return std::unexpected(count.error());
    }
    std::size_t total = static_cast<std::size_t>(*count);
    return request.fetchLimit > 0 ? std::min(total, request.fetchLimit) : total;
}

Result<Value> ManagedObjectContext::maximum(std::string_view entityName, std::string_view attribute,
                                            const std::optional<Predicate>& predicate) {
    const EntityDescription* entity = m_coordinator->model().entity(entityName);
    if (entity == nullptr || entity->attribute(attribute) == nullptr) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "No attribute " + std::string(attribute) + " of " +
                             std::string(entityName) + " in the library.");
    }
    // Unsaved objects count too, so two appends before a save never share a position.
    if (hasPendingChanges(*entity)) {
        auto objects =
            executeFetchRequest(FetchRequest{std::string(entityName), predicate, {}, 0, true});
        if (!objects) {
            return std::unexpected(objects.error());
        }
        Value best;
        for (const auto& object : *objects) {
            const Value& value = object->value(attribute);
            if (!value.isNull() &&
                (best.isNull() ||
                 compareValues(value, best, SortDescriptor::Comparison::Default) > 0)) {
                best = value;
            }
        }
        return best;
    }
    auto where = compileWhere(*entity, predicate);
    if (!where) {
        return std::unexpected(where.error());
    }
    return m_coordinator->maximum(*entity, std::string(attribute), where->sql, where->bindings);
}

Result<void> ManagedObjectContext::save() {
    processPendingChanges();
    if (!hasChanges()) {
        return {};
    }
    PersistentStoreCoordinator::SaveRequest request;
    ContextDidSave saved;
    auto byRow = [](const auto& a, const auto& b) { return a->objectID() < b->objectID(); };
    std::vector<std::shared_ptr<ManagedObject>> inserted(m_inserted.begin(), m_inserted.end());
    std::vector<std::shared_ptr<ManagedObject>> updated(m_updated.begin(), m_updated.end());
    std::vector<std::shared_ptr<ManagedObject>> deleted(m_deleted.begin(), m_deleted.end());
    std::sort(inserted.begin(), inserted.end(), byRow);
    std::sort(updated.begin(), updated.end(), byRow);
    std::sort(deleted.begin(), deleted.end(), byRow);
    // A deleted object leaves the context with the save, and its row with it: what it has not
    // loaded yet must be read now, for whoever still holds it.
    std::map<const EntityDescription*, std::vector<ManagedObject*>> partlyLoaded;
    for (const auto& object : deleted) {
        if (object->m_unloaded != 0) {
            partlyLoaded[&object->entity()].push_back(object.get());
        }
    }
    for (const auto& [entity, objects] : partlyLoaded) {
        loadMissingValues(*entity, objects, kAllAttributes);
    }

    auto collectJoins = [&](const ManagedObject& object) {
        const auto& relationships = object.entity().relationships;
        for (std::size_t i = 0; i < relationships.size(); ++i) {
            const auto& relationship = relationships[i];
            const auto& state = object.m_toMany[i];
            // Both sides of a many-to-many change together; one side writes the join rows.
            if (!relationship.isManyToMany() || !state.loaded ||
                relationship.joinColumn > relationship.joinInverseColumn) {
                continue;
            }
            std::vector<ObjectID> added;
            std::vector<ObjectID> removed;
            std::set_difference(state.current.begin(), state.current.end(), state.committed.begin(),
                                state.committed.end(), std::back_inserter(added));
            std::set_difference(state.committed.begin(), state.committed.end(),
                                state.current.begin(), state.current.end(),
                                std::back_inserter(removed));
            for (ObjectID id : added) {
                request.joins.push_back({&relationship, object.m_id.row, id.row, true});
            }
            for (ObjectID id : removed) {
                request.joins.push_back({&relationship, object.m_id.row, id.row, false});
            }
        }
    };
    for (const auto& object : inserted) {
        request.inserts.emplace_back(
            &object->entity(), StoredRow{object->m_id.row, object->m_values, object->m_toOne});
        collectJoins(*object);
        saved.inserted.push_back(object->m_id);
    }
    for (const auto& object : updated) {
        PersistentStoreCoordinator::SaveRequest::Update update{
            &object->entity(),
            StoredRow{object->m_id.row, object->m_values, object->m_toOne},
            {},
            {}};
        const auto& entity = object->entity();
        for (const auto& key : object->m_changedKeys) {
            if (int index = entity.attributeIndex(key); index >= 0) {
                // A change loads the attribute first, so a value never read is never written.
                if (!object->isUnloaded(static_cast<std::size_t>(index))) {
                    update.attributes.push_back(index);
                }
                continue;
            }
            for (std::size_t i = 0; i < entity.relationships.size(); ++i) {
                if (entity.relationships[i].name == key && !entity.relationships[i].toMany) {
                    update.toOne.push_back(static_cast<int>(i));
                }
            }
        }
        request.updates.push_back(std::move(update));
        collectJoins(*object);
        saved.updated.push_back(object->m_id);
        saved.updatedKeys[object->m_id] = object->m_changedKeys;
    }
    for (const auto& object : deleted) {
        request.deletes.push_back(object->m_id);
        saved.deleted.push_back(object->m_id);
    }
    if (auto written = m_coordinator->save(request); !written) {
        return written;
    }
    for (const auto* group : {&inserted, &updated}) {
        for (const auto& object : *group) {
            object->m_inserted = false;
            object->m_changedKeys.clear();
            object->m_committedValues.clear();  // the values are the saved ones now
            object->m_committedToOne = object->m_toOne;
            for (auto& state : object->m_toMany) {
                state.committed = state.current;
            }
        }
    }
    for (const auto& object : deleted) {
        forgetObject(object->m_id);
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_center->post(kContextDidSaveNotification, this, saved);
    return {};
}

void ManagedObjectContext::forgetObject(ObjectID id) {
    if (auto it = m_registered.find(id); it != m_registered.end()) {
        it->second->m_context = nullptr;
        --m_heldCount[id.entity];
        m_registered.erase(it);
    }
}

void ManagedObjectContext::mergeChangesFromContextDidSave(const ContextDidSave& changes) {
    ObjectsDidChange merged;
    std::unordered_set<ObjectID, ObjectIDHash> gone;
    for (ObjectID id : changes.deleted) {
        auto object = registeredObject(id);
        gone.insert(id);
        if (!object) {
            continue;
        }
        object->m_deleted = true;
        m_inserted.erase(object);
        m_updated.erase(object);
        m_deleted.erase(object);
        m_unprocessedUpdated.erase(object);
        forgetObject(id);
        merged.deleted.push_back(object);
    }
    if (!gone.empty()) {
        // Nothing here may keep pointing at objects another context removed.
        for (auto& [id, object] : m_registered) {
            for (std::size_t i = 0; i < object->m_toOne.size(); ++i) {
                if (gone.contains(object->m_toOne[i])) {
                    object->m_toOne[i] = ObjectID{};
                }
                if (gone.contains(object->m_committedToOne[i])) {
                    object->m_committedToOne[i] = ObjectID{};
                }
            }
            for (auto& state : object->m_toMany) {
                std::erase_if(state.current,
                              [&](ObjectID target) { return gone.contains(target); });
                std::erase_if(state.committed,
                              [&](ObjectID target) { return gone.contains(target); });
            }
        }
    }
    for (ObjectID id : changes.updated) {
        auto object = registeredObject(id);
        if (!object || object->m_deleted) {
            continue;
        }
        auto row = m_coordinator->fetchRow(*id.entity, id.row, ~object->m_unloaded);
        if (!row || !row->has_value()) {
            continue;
        }
        const EntityDescription& entity = object->entity();
        std::set<std::string> keys;
        auto written = changes.updatedKeys.find(id);
        auto localWins = [&](const std::string& key) {
            return m_policy == MergePolicy::InMemoryWins && object->m_changedKeys.contains(key);
        };
        auto settle = [&](const std::string& key, auto& current, auto& committed,
                          const auto& stored) {
            if (localWins(key)) {
                committed = stored;  // the local edit is saved over it later
                return;
            }
            if (!(current == stored)) {
                keys.insert(key);
            }
            current = stored;
            committed = stored;
            object->m_changedKeys.erase(key);
        };
        object->keepCommittedValues();
        for (std::size_t i = 0; i < entity.attributes.size(); ++i) {
            const std::string& name = entity.attributes[i].name;
            if (object->isUnloaded(i)) {
                // Still in the store only: the next read gets the saved value. Observers hear
                // of it all the same, since a list may test it.
                if (written == changes.updatedKeys.end() || written->second.contains(name)) {
                    keys.insert(name);
                }
                continue;
            }
            settle(name, object->m_values[i], object->m_committedValues[i], (**row).values[i]);
        }
        for (std::size_t i = 0; i < entity.relationships.size(); ++i) {
            const auto& relationship = entity.relationships[i];
            if (!relationship.toMany) {
                settle(relationship.name, object->m_toOne[i], object->m_committedToOne[i],
                       (**row).toOne[i]);
                continue;
            }
            auto& state = object->m_toMany[i];
            if (!state.loaded) {
                continue;
            }
            auto stored = m_coordinator->relatedIds(entity, relationship, id.row);
            if (!stored) {
                logUnresolvedError(stored.error());
                continue;
            }
            std::sort(stored->begin(), stored->end());
            settle(relationship.name, state.current, state.committed, *stored);
        }
        if (object->m_changedKeys.empty()) {
            m_updated.erase(object);
        }
        if (!keys.empty()) {
            merged.changedKeys[id] = keys;
            merged.refreshed.push_back(object);
        }
    }
    // One read per entity rather than per row: an import's save brings thousands.
    std::vector<ObjectID> unseen;
    std::unordered_map<const EntityDescription*, ValueList> unseenRows;
    for (ObjectID id : changes.inserted) {
        if (!id.isNull() && !registeredObject(id)) {
            unseen.push_back(id);
            unseenRows[id.entity].emplace_back(id.row);
        }
    }
    for (auto& [entity, rows] : unseenRows) {
        auto stored = m_coordinator->fetchRows(*entity, kRowsWithIds, {Value(std::move(rows))}, "");
        if (!stored) {
            logUnresolvedError(stored.error());
            continue;
        }
        for (auto& row : *stored) {
            registerRow(*entity, std::move(row));
        }
    }
    // A row deleted again before this read is not there, and not reported.
    for (ObjectID id : unseen) {
        if (auto object = registeredObject(id)) {
            merged.inserted.push_back(std::move(object));
        }
    }
    if (!merged.empty()) {
        m_center->post(kObjectsDidChangeNotification, this, std::move(merged));
    }
    processPendingChanges();
}

void ManagedObjectContext::rollback() {
    ObjectsDidChange undone;
    for (const auto& object : m_inserted) {
        object->m_deleted = true;
        forgetObject(object->m_id);
        undone.deleted.push_back(object);
    }
    for (const auto* group : {&m_updated, &m_deleted}) {
        for (const auto& object : *group) {
            if (!object->m_committedValues.empty()) {
                object->m_values = std::move(object->m_committedValues);
                object->m_committedValues.clear();
            }
            object->m_toOne = object->m_committedToOne;
            for (auto& state : object->m_toMany) {
                state.current = state.committed;
            }
            std::set<std::string> keys = object->m_changedKeys;
            object->m_changedKeys.clear();
            object->m_deleted = false;
            object->m_deletionPrepared = false;
            if (group == &m_deleted) {
                undone.inserted.push_back(object);
            } else {
                undone.changedKeys[object->m_id] = keys;
                undone.refreshed.push_back(object);
            }
        }
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_toPrepare.clear();
    for (const auto& object : m_unprocessedInserted) {
        object->m_insertUnreported = false;
    }
    m_unprocessedInserted.clear();
    m_unprocessedDeleted.clear();
    m_unprocessedUpdated.clear();
    if (!undone.empty()) {
        m_center->post(kObjectsDidChangeNotification, this, std::move(undone));
    }
}

}  // namespace miravel
