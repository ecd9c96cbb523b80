#include "store/PersistentStoreCoordinator.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "store/PredicateSqlFunctions.h"
#include "store/SqlValue.h"
#include "store/SqlWhere.h"
#include "store/Transaction.h"

namespace miravel {

namespace {

// "MRVL": marks a SQLite file as a Miravel store, beside the model version in user_version.
constexpr std::int32_t kApplicationId = 0x4D52564C;
// Ids reserved per trip to the file; a context inserting thousands of objects makes few trips.
constexpr std::int64_t kIdBlock = 1000;
// Reading through the page cache copies every page; mapping the file lets a search over
// a large library read rows in place (several times faster for full scans).
constexpr const char* kMapSize = "PRAGMA mmap_size=1073741824";

// A cached statement in use: whichever way the use ends, it is left reset, its parameters
// cleared, so that it holds no read lock and no stale value for the next use.
class InUse {
public:
    explicit InUse(Statement& statement) : m_statement(statement) {}
    ~InUse() { m_statement.reset(); }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    Statement& operator*() const { return m_statement; }
    Statement* operator->() const { return &m_statement; }

private:
    Statement& m_statement;
};

// Runs a statement that returns no rows.
Result<void> runToDone(Statement& statement) {
    auto row = statement.step();
    while (row && *row) {
        row = statement.step();
    }
    if (!row) {
        return std::unexpected(std::move(row.error()));
    }
    return {};
}

// Whether a row handed to save() has a value for every column of its entity: anything else
// would write values into the wrong columns, or read past the row.
bool fitsEntity(const EntityDescription& entity, const StoredRow& row) {
    return row.values.size() == entity.attributes.size() &&
           row.toOne.size() == entity.relationships.size();
}

bool fitsEntity(const PersistentStoreCoordinator::SaveRequest::Update& update) {
    const EntityDescription& entity = *update.entity;
    auto inRange = [](int index, std::size_t size) {
        return index >= 0 && static_cast<std::size_t>(index) < size;
    };
    return fitsEntity(entity, update.row) &&
           std::ranges::all_of(update.attributes,
                               [&](int i) { return inRange(i, entity.attributes.size()); }) &&
           std::ranges::all_of(update.toOne, [&](int i) {
               return inRange(i, entity.relationships.size()) &&
                      !entity.relationships[static_cast<std::size_t>(i)].toMany;
           });
}

}  // namespace

Error PersistentStoreCoordinator::damagedError(const std::string& detail) const {
    return Error{kStoreErrorDomain,
                 static_cast<int>(StoreErrorCode::Damaged),
                 "The library is damaged (" + m_file.string() + ": " + detail + ")",
                 {}};
}

Error PersistentStoreCoordinator::storeError(const std::string& what, const Error& cause) {
    if (isDamageCode(cause.code)) {
        m_damaged = true;
        return damagedError(cause.description);
    }
    return Error{kStoreErrorDomain, cause.code, what + ": " + cause.description, {}};
}

Error PersistentStoreCoordinator::storeFailure(const Error& cause) {
    if (isDamageCode(cause.code)) {
        return storeError("", cause);
    }
    return Error{
        kStoreErrorDomain, cause.code, "The library store failed (" + cause.description + ")", {}};
}

Result<void> PersistentStoreCoordinator::checkIntegrity() {
    std::lock_guard lock(m_mutex);
    if (m_damaged) {
        return std::unexpected(damagedError("damage found earlier"));
    }
    if (m_integrityChecked) {
        return {};
    }
    // The check reads every page: through the map they would all stay resident in this
    // process (the whole file), through the page cache only the cache's few megabytes do.
    // Turning the map off also lets go of the pages mapped so far; later reads map again.
    (void)m_database.execute("PRAGMA mmap_size=0");
    struct MapAgain {
        Database& database;
        ~MapAgain() { (void)database.execute(kMapSize); }
    } mapAgain{m_database};
    auto check = m_database.prepare("PRAGMA quick_check(1)");
    if (!check) {
        return std::unexpected(storeError("The library store could not be checked", check.error()));
    }
    auto row = check->step();
    if (!row) {
        return std::unexpected(storeError("The library store could not be checked", row.error()));
    }
    if (*row && check->columnText(0) != "ok") {
        m_damaged = true;
        std::string problem(check->columnText(0));
        std::ranges::replace(problem, '\n', ' ');
        return std::unexpected(damagedError(problem));
    }
    m_integrityChecked = true;
    return {};
}

bool StoreMetadata::isMiravelStore() const {
    return applicationId == kApplicationId;
}

std::optional<StoreMetadata> PersistentStoreCoordinator::metadataForStore(
    const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) || !Database::hasSqliteHeader(file)) {
        return std::nullopt;
    }
    auto database = Database::open(file, Database::Access::ReadOnly);
    if (!database) {
        return std::nullopt;
    }
    auto read = [&](const char* sql) -> std::optional<std::int32_t> {
        auto statement = database->prepare(sql);
        if (!statement) {
            return std::nullopt;
        }
        auto row = statement->step();
        if (!row || !*row) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(statement->columnInt64(0));
    };
    auto applicationId = read("PRAGMA application_id");
    auto modelVersion = read("PRAGMA user_version");
    if (!applicationId || !modelVersion) {
        return std::nullopt;
    }
    return StoreMetadata{*applicationId, *modelVersion};
}

Result<std::shared_ptr<PersistentStoreCoordinator>> PersistentStoreCoordinator::open(
    const std::filesystem::path& file, const ManagedObjectModel& model, Options options) {
    std::error_code error;
    bool exists = std::filesystem::exists(file, error);
    if (exists && std::filesystem::is_regular_file(file, error) &&
        std::filesystem::file_size(file, error) > 0 && !Database::hasSqliteHeader(file)) {
        return makeError(kStoreErrorDomain, StoreErrorCode::Damaged,
                         "The library is damaged (" + file.string() +
                             ": not a database at all; it was left untouched)");
    }
    if (exists) {
        auto metadata = metadataForStore(file);
        if (metadata && metadata->applicationId != 0 && !metadata->isMiravelStore()) {
            return makeError(kStoreErrorDomain, StoreErrorCode::NotAStore,
                             "The file \"" + file.string() +
                                 "\" is a database of another program. It was left untouched.");
        }
        if (metadata && metadata->isMiravelStore() && metadata->modelVersion != model.version()) {
            return makeError(kStoreErrorDomain, StoreErrorCode::OtherModelVersion,
                             "The library \"" + file.string() + "\" has layout version " +
                                 std::to_string(metadata->modelVersion) + "; this program reads " +
                                 std::to_string(model.version()) + ".");
        }
    }
    auto access = Database::Access::ReadWriteCreate;
    if (options.readOnly) {
        // A read-only connection to a store in WAL mode makes the store's shared-memory file
        // beside it; in a folder it may not write to, that works only for a file known not to
        // change, which it is when no other connection left a log behind.
        std::filesystem::path log = file;
        log += "-wal";
        const std::filesystem::path folder =
            file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
        const bool folderWritable = ::access(folder.c_str(), W_OK) == 0;
        access = folderWritable || std::filesystem::exists(log, error)
                     ? Database::Access::ReadOnly
                     : Database::Access::Immutable;
    }
    auto database = Database::open(file, access);
    if (!database) {
        return makeError(kStoreErrorDomain, database.error().code,
                         "Could not open the library \"" + file.string() +
                             "\": " + database.error().description);
    }
    std::shared_ptr<PersistentStoreCoordinator> coordinator(
        new PersistentStoreCoordinator(file, model, std::move(*database), options.readOnly));
    if (auto schema = coordinator->prepareSchema(); !schema) {
        return std::unexpected(schema.error());
    }
    return coordinator;
}

PersistentStoreCoordinator::PersistentStoreCoordinator(std::filesystem::path file,
                                                       const ManagedObjectModel& model,
                                                       Database database, bool readOnly)
    : m_file(std::move(file)),
      m_model(model),
      m_database(std::move(database)),
      m_readOnly(readOnly) {
    m_database.setBusyTimeout(std::chrono::seconds(5));
    registerPredicateSqlFunctions(m_database.rawHandle());
    registerLocalizedCollation(m_database.rawHandle());
}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

Result<void> PersistentStoreCoordinator::execute(const std::string& sql) {
    if (auto done = m_database.execute(sql); !done) {
        return std::unexpected(storeFailure(done.error()));
    }
    return {};
}

// Every query text gets one prepared statement, reused while it is in the cache. The cache
// is emptied only on entry to a public operation, when no statement is in use.
void PersistentStoreCoordinator::trimStatementCache() {
    constexpr std::size_t kMostStatements = 256;
    if (m_statements.size() > kMostStatements) {
        m_statements.clear();
    }
}

Result<Statement*> PersistentStoreCoordinator::prepare(const std::string& sql) {
    if (auto it = m_statements.find(sql); it != m_statements.end()) {
        return &it->second;
    }
    auto statement = m_database.prepare(sql, Database::Lifetime::Kept);
    if (!statement) {
        return std::unexpected(
            storeError("The library store could not run a query", statement.error()));
    }
    return &m_statements.emplace(sql, std::move(*statement)).first->second;
}

Result<void> PersistentStoreCoordinator::prepareSchema() {
    std::lock_guard lock(m_mutex);
    if (auto tables = prepareTables(); !tables) {
        return tables;
    }
    m_searchIndexes = TextSearchIndex::prepare(m_database, m_model, m_readOnly);
    return {};
}

Result<void> PersistentStoreCoordinator::prepareTables() {
    std::int32_t version = 0;
    {
        auto statement = prepare("PRAGMA user_version");
        if (!statement) {
            // A file with a SQLite header but damaged inside ends here.
            return std::unexpected(damagedError(statement.error().description));
        }
        InUse query(**statement);
        auto row = query->step();
        if (!row) {
            // Taken for a new store, the file would get tables it may already have.
            return std::unexpected(storeError(
                "The library store \"" + m_file.string() + "\" could not be read", row.error()));
        }
        if (*row) {
            version = static_cast<std::int32_t>(query->columnInt64(0));
        }
    }
    (void)execute(kMapSize);
    if (m_readOnly) {
        return {};
    }
    if (auto wal = execute("PRAGMA journal_mode=WAL"); !wal) {
        return wal;
    }
    // Every commit reaches the disk before the save reports success.
    if (auto sync = execute("PRAGMA synchronous=FULL"); !sync) {
        return sync;
    }
    if (version != 0) {
        return {};
    }
    auto transaction = Transaction::begin(m_database, Transaction::Kind::Immediate);
    if (!transaction) {
        return std::unexpected(storeFailure(transaction.error()));
    }
    if (auto created = createTables(); !created) {
        return created;
    }
    if (auto committed = transaction->commit(); !committed) {
        return std::unexpected(storeFailure(committed.error()));
    }
    return {};
}

Result<void> PersistentStoreCoordinator::createTables() {
    std::string sql;
    for (const auto& entity : m_model.entities()) {
        sql += "CREATE TABLE IF NOT EXISTS " + quotedSqlIdentifier(entity.name) +
               " (id INTEGER PRIMARY KEY";
        for (const auto& attribute : entity.attributes) {
            sql += ", " + quotedSqlIdentifier(attribute.name) + " " + sqlColumnType(attribute.type);
        }
        for (const auto& relationship : entity.relationships) {
            if (!relationship.toMany) {
                sql += ", " + quotedSqlIdentifier(relationship.column) + " INTEGER";
            }
        }
        sql += ");";
        if (entity.attribute("status") != nullptr) {
            // Every list filters tombstones out; counting them needs only this index.
            sql += "CREATE INDEX IF NOT EXISTS " + quotedSqlIdentifier(entity.name + "_status") +
                   " ON " + quotedSqlIdentifier(entity.name) + " (status);";
        }
        if (entity.attribute("uid") != nullptr) {
            sql += "CREATE INDEX IF NOT EXISTS " + quotedSqlIdentifier(entity.name + "_uid") +
                   " ON " + quotedSqlIdentifier(entity.name) + " (uid);";
        }
        for (const auto& relationship : entity.relationships) {
            if (!relationship.toMany) {
                sql += "CREATE INDEX IF NOT EXISTS " +
                       quotedSqlIdentifier(entity.name + "_" + relationship.column) + " ON " +
                       quotedSqlIdentifier(entity.name) + " (" +
                       quotedSqlIdentifier(relationship.column) + ");";
            } else if (relationship.isManyToMany()) {
                sql += "CREATE TABLE IF NOT EXISTS " + quotedSqlIdentifier(relationship.joinTable) +
                       " (" + quotedSqlIdentifier(relationship.joinColumn) + " INTEGER NOT NULL, " +
                       quotedSqlIdentifier(relationship.joinInverseColumn) +
                       " INTEGER NOT NULL, PRIMARY KEY (" +
                       quotedSqlIdentifier(relationship.joinColumn) + ", " +
                       quotedSqlIdentifier(relationship.joinInverseColumn) + ")) WITHOUT ROWID;";
                sql += "CREATE INDEX IF NOT EXISTS " +
                       quotedSqlIdentifier(relationship.joinTable + "_" + relationship.joinColumn) +
                       " ON " + quotedSqlIdentifier(relationship.joinTable) + " (" +
                       quotedSqlIdentifier(relationship.joinColumn) + ");";
            }
        }
    }
    sql +=
        "CREATE TABLE IF NOT EXISTS Z_SEQUENCE (entity TEXT PRIMARY KEY, next INTEGER NOT NULL);";
    sql += "PRAGMA application_id=" + std::to_string(kApplicationId) + ";";
    sql += "PRAGMA user_version=" + std::to_string(m_model.version()) + ";";
    return execute(sql);
}

Result<std::int64_t> PersistentStoreCoordinator::newRowId(const EntityDescription& entity) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    auto& [next, end] = m_reserved[entity.name];
    if (next < end) {
        return next++;
    }
    if (m_readOnly) {
        return makeError(kStoreErrorDomain, StoreErrorCode::ReadOnly, "The store is read-only.");
    }
    if (auto sound = checkIntegrity(); !sound) {
        return std::unexpected(sound.error());
    }
    auto transaction = Transaction::begin(m_database, Transaction::Kind::Immediate);
    if (!transaction) {
        return std::unexpected(storeFailure(transaction.error()));
    }
    auto first = reserveIds(entity);
    if (!first) {
        return first;
    }
    if (auto committed = transaction->commit(); !committed) {
        return std::unexpected(storeFailure(committed.error()));
    }
    next = *first + 1;
    end = *first + kIdBlock;
    return *first;
}

// Reserves the next block in the file: from the highest of the recorded next id and the
// largest id in the table, so rows written by older code are never reused. Runs inside the
// caller's transaction.
Result<std::int64_t> PersistentStoreCoordinator::reserveIds(const EntityDescription& entity) {
    const std::string what = "Could not reserve row ids";
    auto select = prepare(
        "SELECT max(coalesce((SELECT next FROM Z_SEQUENCE WHERE entity = ?1), 1),"
        " coalesce((SELECT max(id) FROM " +
        quotedSqlIdentifier(entity.name) + "), 0) + 1)");
    if (!select) {
        return std::unexpected(select.error());
    }
    InUse query(**select);
    if (auto bound = query->bindText(1, entity.name); !bound) {
        return std::unexpected(storeError(what, bound.error()));
    }
    auto row = query->step();
    if (!row) {
        return std::unexpected(storeError(what, row.error()));
    }
    if (!*row) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest, what + ".");
    }
    const std::int64_t first = query->columnInt64(0);
    auto update = prepare("INSERT OR REPLACE INTO Z_SEQUENCE (entity, next) VALUES (?1, ?2)");
    if (!update) {
        return std::unexpected(update.error());
    }
    InUse write(**update);
    Result<void> written = write->bindText(1, entity.name);
    if (written) {
        written = write->bindInt64(2, first + kIdBlock);
    }
    if (written) {
        written = runToDone(*write);
    }
    if (!written) {
        return std::unexpected(storeError(what, written.error()));
    }
    return first;
}

// Runs one query, handing each result row to `row`. The caller holds the lock.
Result<void> PersistentStoreCoordinator::forEachRow(
    const std::string& sql, const ValueList& bindings,
    const std::function<void(const Statement&)>& row) {
    auto prepared = prepare(sql);
    if (!prepared) {
        return std::unexpected(prepared.error());
    }
    InUse statement(**prepared);
    if (auto bound = SqlWhere{"", bindings}.bindTo(*statement); !bound) {
        return bound;
    }
    for (;;) {
        auto next = statement->step();
        if (!next) {
            return std::unexpected(storeError("The library store could not be read", next.error()));
        }
        if (!*next) {
            return {};
        }
        row(*statement);
    }
}
std::string PersistentStoreCoordinator::selectList(const EntityDescription& entity,
                                                   AttributeMask attributes) const {
    std::string list = "t.id";
    for (std::size_t i = 0; i < entity.attributes.size(); ++i) {
        if (includesAttribute(attributes, i)) {
            list += ", t." + quotedSqlIdentifier(entity.attributes[i].name);
        }
    }
    for (const auto& relationship : entity.relationships) {
        if (!relationship.toMany) {
            list += ", t." + quotedSqlIdentifier(relationship.column);
        }
    }
    return list;
}

StoredRow PersistentStoreCoordinator::readRow(const EntityDescription& entity,
                                              AttributeMask attributes, AttributeMask wanted,
                                              const Statement& statement) const {
    StoredRow row;
    row.id = statement.columnInt64(0);
    row.values.resize(entity.attributes.size());
    int column = 1;
    for (std::size_t i = 0; i < entity.attributes.size(); ++i) {
        if (!includesAttribute(attributes, i)) {
            continue;
        }
        if (includesAttribute(wanted, i)) {
            row.values[i] = columnValue(statement, column, entity.attributes[i].type);
        }
        ++column;
    }
    row.toOne.resize(entity.relationships.size());
    for (std::size_t i = 0; i < entity.relationships.size(); ++i) {
        const auto& relationship = entity.relationships[i];
        if (relationship.toMany) {
            continue;
        }
        if (!statement.isNull(column)) {
            row.toOne[i] =
                ObjectID{m_model.entity(relationship.destination), statement.columnInt64(column)};
        }
        ++column;
    }
    return row;
}

Result<std::vector<StoredRow>> PersistentStoreCoordinator::fetchRows(
    const EntityDescription& entity, const std::string& where, const ValueList& bindings,
    const std::string& orderBy, std::size_t limit, AttributeMask attributes,
    const RowAttributes& rowAttributes) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    std::string sql = "SELECT " + selectList(entity, attributes) + " FROM " +
                      quotedSqlIdentifier(entity.name) + " t";
    if (!where.empty()) {
        sql += " WHERE " + where;
    }
    if (!orderBy.empty()) {
        sql += " ORDER BY " + orderBy;
    }
    if (limit > 0) {
        sql += " LIMIT " + std::to_string(limit);
    }
    std::vector<StoredRow> rows;
    auto read = forEachRow(sql, bindings, [&](const Statement& statement) {
        AttributeMask wanted = attributes;
        if (rowAttributes) {
            wanted &= rowAttributes(statement.columnInt64(0));
        }
        rows.push_back(readRow(entity, attributes, wanted, statement));
    });
    if (!read) {
        return std::unexpected(read.error());
    }
    return rows;
}

Result<std::vector<std::int64_t>> PersistentStoreCoordinator::fetchIds(
    const EntityDescription& entity, const std::string& where, const ValueList& bindings,
    const std::string& orderBy, std::size_t limit) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    std::string sql = "SELECT t.id FROM " + quotedSqlIdentifier(entity.name) + " t";
    if (!where.empty()) {
        sql += " WHERE " + where;
    }
    if (!orderBy.empty()) {
        sql += " ORDER BY " + orderBy;
    }
    if (limit > 0) {
        sql += " LIMIT " + std::to_string(limit);
    }
    std::vector<std::int64_t> ids;
    auto read = forEachRow(sql, bindings, [&](const Statement& statement) {
        ids.push_back(statement.columnInt64(0));
    });
    if (!read) {
        return std::unexpected(read.error());
    }
    return ids;
}

Result<std::int64_t> PersistentStoreCoordinator::count(const EntityDescription& entity,
                                                       const std::string& where,
                                                       const ValueList& bindings) {
    auto value = maximum(entity, "", where, bindings);
    if (!value) {
        return std::unexpected(value.error());
    }
    return value->isInteger() ? value->asInteger() : 0;
}

Result<Value> PersistentStoreCoordinator::maximum(const EntityDescription& entity,
                                                  const std::string& attribute,
                                                  const std::string& where,
                                                  const ValueList& bindings) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    const AttributeDescription* description = nullptr;
    std::string sql;
    if (attribute.empty()) {
        sql = "SELECT count(*) FROM " + quotedSqlIdentifier(entity.name) + " t";
    } else {
        description = entity.attribute(attribute);
        if (description == nullptr) {
            return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                             "The entity " + entity.name + " has no attribute " + attribute + ".");
        }
        sql = "SELECT max(t." + quotedSqlIdentifier(attribute) + ") FROM " +
              quotedSqlIdentifier(entity.name) + " t";
    }
    if (!where.empty()) {
        sql += " WHERE " + where;
    }
    Value result;
    auto read = forEachRow(sql, bindings, [&](const Statement& statement) {
        result = description == nullptr ? Value(statement.columnInt64(0))
                                        : columnValue(statement, 0, description->type);
    });
    if (!read) {
        return std::unexpected(read.error());
    }
    return result;
}

Result<std::optional<StoredRow>> PersistentStoreCoordinator::fetchRow(
    const EntityDescription& entity, std::int64_t id, AttributeMask attributes) {
    auto rows = fetchRows(entity, "t.id = ?", {Value(id)}, "", 0, attributes);
    if (!rows) {
        return std::unexpected(rows.error());
    }
    if (rows->empty()) {
        return std::optional<StoredRow>();
    }
    return std::optional<StoredRow>(std::move(rows->front()));
}

Result<std::vector<ObjectID>> PersistentStoreCoordinator::relatedIds(
    const EntityDescription& entity, const RelationshipDescription& relation, std::int64_t id) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    const EntityDescription* destination = m_model.entity(relation.destination);
    if (destination == nullptr || !relation.toMany) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "The relationship " + entity.name + "." + relation.name +
                             " is not a to-many relationship.");
    }
    std::string sql;
    if (relation.isManyToMany()) {
        sql = "SELECT " + quotedSqlIdentifier(relation.joinInverseColumn) + " FROM " +
              quotedSqlIdentifier(relation.joinTable) + " WHERE " +
              quotedSqlIdentifier(relation.joinColumn) + " = ? ORDER BY 1";
    } else {
        const RelationshipDescription* inverse = destination->relationship(relation.inverse);
        if (inverse == nullptr) {
            return makeError(
                kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                "The relationship " + entity.name + "." + relation.name + " has no inverse.");
        }
        sql = "SELECT id FROM " + quotedSqlIdentifier(destination->name) + " WHERE " +
              quotedSqlIdentifier(inverse->column) + " = ? ORDER BY 1";
    }
    std::vector<ObjectID> ids;
    auto read = forEachRow(sql, {Value(id)}, [&](const Statement& statement) {
        ids.push_back(ObjectID{destination, statement.columnInt64(0)});
    });
    if (!read) {
        return std::unexpected(read.error());
    }
    return ids;
}

Result<void> PersistentStoreCoordinator::save(const SaveRequest& request) {
    std::lock_guard lock(m_mutex);
    trimStatementCache();
    if (m_readOnly) {
        return makeError(kStoreErrorDomain, StoreErrorCode::ReadOnly, "The store is read-only.");
    }
    if (auto sound = checkIntegrity(); !sound) {
        return sound;
    }
    auto transaction = Transaction::begin(m_database, Transaction::Kind::Immediate);
    if (!transaction) {
        return std::unexpected(storeFailure(transaction.error()));
    }
    if (auto written = writeAll(request); !written) {
        return written;
    }
    if (auto indexed = TextSearchIndex::catchUp(m_database, m_model, m_searchIndexes); !indexed) {
        return indexed;
    }
    if (auto committed = transaction->commit(); !committed) {
        return std::unexpected(storeFailure(committed.error()));
    }
    return {};
}

// Writes every change of a save; the caller's transaction keeps all of it or none.
Result<void> PersistentStoreCoordinator::writeAll(const SaveRequest& request) {
    const std::string what = "The library store could not be written";
    // `bind` binds the statement's parameters and reports the first that failed: a value
    // left unbound would be written as NULL while the save reported success.
    auto run = [&](const std::string& sql, auto&& bind) -> Result<void> {
        auto prepared = prepare(sql);
        if (!prepared) {
            return std::unexpected(prepared.error());
        }
        InUse statement(**prepared);
        Result<void> done = bind(*statement);
        if (done) {
            done = runToDone(*statement);
        }
        if (!done) {
            return std::unexpected(storeError(what, done.error()));
        }
        return {};
    };
    auto bindObject = [](Statement& statement, int index, ObjectID target) {
        return SqlWhere::bind(statement, index, target.isNull() ? Value() : Value(target));
    };
    auto misshapen = [&](const EntityDescription& entity) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         what + ": a row does not match the entity " + entity.name + ".");
    };
    for (const auto& insert : request.inserts) {
        // Named, not a structured binding: the analyzer loses a binding the lambda below
        // captures and reports its use as a dereference of an undefined pointer.
        const EntityDescription* entity = insert.first;
        const StoredRow& row = insert.second;
        if (!fitsEntity(*entity, row)) {
            return misshapen(*entity);
        }
        std::string columns = "id";
        std::string marks = "?";
        for (const auto& attribute : entity->attributes) {
            columns += ", " + quotedSqlIdentifier(attribute.name);
            marks += ", ?";
        }
        for (const auto& relationship : entity->relationships) {
            if (!relationship.toMany) {
                columns += ", " + quotedSqlIdentifier(relationship.column);
                marks += ", ?";
            }
        }
        std::string sql = "INSERT INTO ";
        sql.append(quotedSqlIdentifier(entity->name)).append(" (").append(columns);
        sql.append(") VALUES (").append(marks).append(")");
        auto inserted = run(sql, [&](Statement& statement) -> Result<void> {
            int index = 1;
            if (auto bound = statement.bindInt64(index++, row.id); !bound) {
                return bound;
            }
            for (const auto& value : row.values) {
                if (auto bound = SqlWhere::bind(statement, index++, value); !bound) {
                    return bound;
                }
            }
            for (std::size_t i = 0; i < entity->relationships.size(); ++i) {
                if (entity->relationships[i].toMany) {
                    continue;
                }
                if (auto bound = bindObject(statement, index++, row.toOne[i]); !bound) {
                    return bound;
                }
            }
            return {};
        });
        if (!inserted) {
            return inserted;
        }
    }
    for (const auto& update : request.updates) {
        if (update.attributes.empty() && update.toOne.empty()) {
            continue;
        }
        if (!fitsEntity(update)) {
            return misshapen(*update.entity);
        }
        std::string assignments;
        for (int index : update.attributes) {
            assignments += (assignments.empty() ? "" : ", ") +
                           quotedSqlIdentifier(
                               update.entity->attributes[static_cast<std::size_t>(index)].name) +
                           " = ?";
        }
        for (int index : update.toOne) {
            assignments +=
                (assignments.empty() ? "" : ", ") +
                quotedSqlIdentifier(
                    update.entity->relationships[static_cast<std::size_t>(index)].column) +
                " = ?";
        }
        auto updated = run(
            "UPDATE " + quotedSqlIdentifier(update.entity->name) + " SET " + assignments +
                " WHERE id = ?",
            [&](Statement& statement) -> Result<void> {
                int position = 1;
                for (int index : update.attributes) {
                    if (auto bound =
                            SqlWhere::bind(statement, position++,
                                           update.row.values[static_cast<std::size_t>(index)]);
                        !bound) {
                        return bound;
                    }
                }
                for (int index : update.toOne) {
                    if (auto bound = bindObject(statement, position++,
                                                update.row.toOne[static_cast<std::size_t>(index)]);
                        !bound) {
                        return bound;
                    }
                }
                return statement.bindInt64(position, update.row.id);
            });
        if (!updated) {
            return updated;
        }
    }
    for (const auto& id : request.deletes) {
        auto bindRow = [&](Statement& statement) { return statement.bindInt64(1, id.row); };
        auto deleted =
            run("DELETE FROM " + quotedSqlIdentifier(id.entity->name) + " WHERE id = ?", bindRow);
        if (!deleted) {
            return deleted;
        }
        for (const auto& relationship : id.entity->relationships) {
            if (!relationship.isManyToMany()) {
                continue;
            }
            auto unlinked =
                run("DELETE FROM " + quotedSqlIdentifier(relationship.joinTable) + " WHERE " +
                        quotedSqlIdentifier(relationship.joinColumn) + " = ?",
                    bindRow);
            if (!unlinked) {
                return unlinked;
            }
        }
    }
    for (const auto& join : request.joins) {
        const auto& relationship = *join.relationship;
        std::string sql =
            join.added ? "INSERT OR IGNORE INTO " + quotedSqlIdentifier(relationship.joinTable) +
                             " (" + quotedSqlIdentifier(relationship.joinColumn) + ", " +
                             quotedSqlIdentifier(relationship.joinInverseColumn) + ") VALUES (?, ?)"
                       : "DELETE FROM " + quotedSqlIdentifier(relationship.joinTable) + " WHERE " +
                             quotedSqlIdentifier(relationship.joinColumn) + " = ? AND " +
                             quotedSqlIdentifier(relationship.joinInverseColumn) + " = ?";
        auto written = run(sql, [&](Statement& statement) {
            auto bound = statement.bindInt64(1, join.from);
            return bound ? statement.bindInt64(2, join.to) : bound;
        });
        if (!written) {
            return written;
        }
    }
    return {};
}

}  // namespace miravel
