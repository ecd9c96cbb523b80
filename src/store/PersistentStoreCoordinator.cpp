#include "store/PersistentStoreCoordinator.h"

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <fstream>

#include "lib/Log.h"
#include "store/PredicateSqlFunctions.h"
#include "store/SqlValue.h"
#include "store/SqlWhere.h"

namespace miravel {

namespace {

// "MRVL": marks a SQLite file as a Miravel store, beside the model version in user_version.
constexpr std::int32_t kApplicationId = 0x4D52564C;
// Ids reserved per trip to the file; a context inserting thousands of objects makes few trips.
constexpr std::int64_t kIdBlock = 1000;

bool hasSqliteHeader(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 16> header{};
    if (!in.read(header.data(), header.size())) {
        return false;
    }
    return std::memcmp(header.data(), "SQLite format 3", 16) == 0;
}

class Statement {
public:
    explicit Statement(sqlite3_stmt* statement) : m_statement(statement) {}
    ~Statement() {
        if (m_statement != nullptr) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_statement; }

private:
    sqlite3_stmt* m_statement;
};

}  // namespace

bool StoreMetadata::isMiravelStore() const {
    return applicationId == kApplicationId;
}

std::optional<StoreMetadata> PersistentStoreCoordinator::metadataForStore(
    const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) || !hasSqliteHeader(file)) {
        return std::nullopt;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return std::nullopt;
    }
    StoreMetadata metadata;
    bool ok = true;
    auto read = [&](const char* sql, std::int32_t& into) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            into = sqlite3_column_int(statement, 0);
        } else {
            ok = false;
        }
        sqlite3_finalize(statement);
    };
    read("PRAGMA application_id", metadata.applicationId);
    read("PRAGMA user_version", metadata.modelVersion);
    sqlite3_close(db);
    if (!ok) {
        return std::nullopt;
    }
    return metadata;
}

Result<std::shared_ptr<PersistentStoreCoordinator>> PersistentStoreCoordinator::open(
    const std::filesystem::path& file, const ManagedObjectModel& model, Options options) {
    std::error_code error;
    bool exists = std::filesystem::exists(file, error);
    if (exists && std::filesystem::file_size(file, error) > 0 && !hasSqliteHeader(file)) {
        return makeError(kStoreErrorDomain, StoreErrorCode::NotAStore,
                         "The file \"" + file.string() +
                             "\" is not a Miravel library store. It was left untouched.");
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
    int flags =
        options.readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    if (int code = sqlite3_open_v2(file.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        code != SQLITE_OK) {
        std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        return makeError(kStoreErrorDomain, code,
                         "Could not open the library \"" + file.string() + "\": " + message);
    }
    std::shared_ptr<PersistentStoreCoordinator> coordinator(
        new PersistentStoreCoordinator(file, model, db, options.readOnly));
    if (auto schema = coordinator->prepareSchema(); !schema) {
        return std::unexpected(schema.error());
    }
    return coordinator;
}

PersistentStoreCoordinator::PersistentStoreCoordinator(std::filesystem::path file,
                                                       const ManagedObjectModel& model, sqlite3* db,
                                                       bool readOnly)
    : m_file(std::move(file)), m_model(model), m_db(db), m_readOnly(readOnly) {
    sqlite3_busy_timeout(m_db, 5000);
    registerPredicateSqlFunctions(m_db);
    registerLocalizedCollation(m_db);
}

PersistentStoreCoordinator::~PersistentStoreCoordinator() {
    for (auto& [sql, statement] : m_statements) {
        sqlite3_finalize(statement);
    }
    sqlite3_close(m_db);
}

Error PersistentStoreCoordinator::sqliteError(const std::string& what) const {
    return Error{
        kStoreErrorDomain, sqlite3_extended_errcode(m_db), what + ": " + sqlite3_errmsg(m_db), {}};
}

Result<void> PersistentStoreCoordinator::execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        return makeError(kStoreErrorDomain, sqlite3_extended_errcode(m_db),
                         "The library store failed (" + text + ")");
    }
    return {};
}

// Every query text gets one prepared statement, reused while it is in the cache. The cache
// is emptied only on entry to a public operation, when no statement is in use.
void PersistentStoreCoordinator::trimStatementCache() {
    constexpr std::size_t kMostStatements = 256;
    if (m_statements.size() <= kMostStatements) {
        return;
    }
    for (auto& [sql, statement] : m_statements) {
        sqlite3_finalize(statement);
    }
    m_statements.clear();
}

Result<sqlite3_stmt*> PersistentStoreCoordinator::prepare(const std::string& sql) {
    if (auto it = m_statements.find(sql); it != m_statements.end()) {
        return it->second;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
        return std::unexpected(sqliteError("The library store could not run a query"));
    }
    m_statements.emplace(sql, statement);
    return statement;
}

Result<void> PersistentStoreCoordinator::prepareSchema() {
    std::lock_guard lock(m_mutex);
    if (auto tables = prepareTables(); !tables) {
        return tables;
    }
    m_searchIndexes = TextSearchIndex::prepare(m_db, m_model, m_readOnly);
    return {};
}

Result<void> PersistentStoreCoordinator::prepareTables() {
    std::int32_t version = 0;
    {
        auto statement = prepare("PRAGMA user_version");
        if (!statement) {
            // A file with a SQLite header but damaged inside ends here.
            return std::unexpected(Error{kStoreErrorDomain,
                                         statement.error().code,
                                         "The library store \"" + m_file.string() +
                                             "\" is damaged: " + statement.error().description,
                                         {}});
        }
        Statement guard(*statement);
        if (sqlite3_step(guard.get()) == SQLITE_ROW) {
            version = sqlite3_column_int(guard.get(), 0);
        }
    }
    // Reading through the page cache copies every page; mapping the file lets a search over
    // a large library read rows in place (several times faster for full scans).
    (void)execute("PRAGMA mmap_size=" + std::to_string(std::int64_t{1} << 30));
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
    std::string sql = "BEGIN IMMEDIATE;";
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
    sql += "COMMIT;";
    if (auto created = execute(sql); !created) {
        (void)execute("ROLLBACK");
        return created;
    }
    return {};
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
    // Reserve the next block in the file: the highest of the recorded next id and the
    // largest id in the table, so rows written by older code are never reused.
    if (auto begun = execute("BEGIN IMMEDIATE"); !begun) {
        return std::unexpected(begun.error());
    }
    auto reserve = [&]() -> Result<std::int64_t> {
        auto select = prepare(
            "SELECT max(coalesce((SELECT next FROM Z_SEQUENCE WHERE entity = ?1), 1),"
            " coalesce((SELECT max(id) FROM " +
            quotedSqlIdentifier(entity.name) + "), 0) + 1)");
        if (!select) {
            return std::unexpected(select.error());
        }
        Statement query(*select);
        sqlite3_bind_text(query.get(), 1, entity.name.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(query.get()) != SQLITE_ROW) {
            return std::unexpected(sqliteError("Could not reserve row ids"));
        }
        std::int64_t first = sqlite3_column_int64(query.get(), 0);
        auto update = prepare("INSERT OR REPLACE INTO Z_SEQUENCE (entity, next) VALUES (?1, ?2)");
        if (!update) {
            return std::unexpected(update.error());
        }
        Statement write(*update);
        sqlite3_bind_text(write.get(), 1, entity.name.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int64(write.get(), 2, first + kIdBlock);
        if (sqlite3_step(write.get()) != SQLITE_DONE) {
            return std::unexpected(sqliteError("Could not reserve row ids"));
        }
        return first;
    };
    auto first = reserve();
    if (!first) {
        (void)execute("ROLLBACK");
        return first;
    }
    if (auto committed = execute("COMMIT"); !committed) {
        (void)execute("ROLLBACK");
        return std::unexpected(committed.error());
    }
    next = *first + 1;
    end = *first + kIdBlock;
    return *first;
}

// Runs one query, handing each result row to `row`. The caller holds the lock.
Result<void> PersistentStoreCoordinator::forEachRow(const std::string& sql,
                                                    const ValueList& bindings,
                                                    const std::function<void(sqlite3_stmt*)>& row) {
    auto prepared = prepare(sql);
    if (!prepared) {
        return std::unexpected(prepared.error());
    }
    Statement statement(*prepared);
    if (auto bound = SqlWhere{"", bindings}.bindTo(statement.get()); !bound) {
        return bound;
    }
    int code = SQLITE_OK;
    while ((code = sqlite3_step(statement.get())) == SQLITE_ROW) {
        row(statement.get());
    }
    if (code != SQLITE_DONE) {
        return std::unexpected(sqliteError("The library store could not be read"));
    }
    return {};
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
                                              sqlite3_stmt* statement) const {
    StoredRow row;
    row.id = sqlite3_column_int64(statement, 0);
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
        if (sqlite3_column_type(statement, column) != SQLITE_NULL) {
            row.toOne[i] = ObjectID{m_model.entity(relationship.destination),
                                    sqlite3_column_int64(statement, column)};
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
    auto read = forEachRow(sql, bindings, [&](sqlite3_stmt* statement) {
        AttributeMask wanted = attributes;
        if (rowAttributes) {
            wanted &= rowAttributes(sqlite3_column_int64(statement, 0));
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
    auto read = forEachRow(sql, bindings, [&](sqlite3_stmt* statement) {
        ids.push_back(sqlite3_column_int64(statement, 0));
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
    auto read = forEachRow(sql, bindings, [&](sqlite3_stmt* statement) {
        result = description == nullptr
                     ? Value(static_cast<std::int64_t>(sqlite3_column_int64(statement, 0)))
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
    auto read = forEachRow(sql, {Value(id)}, [&](sqlite3_stmt* statement) {
        ids.push_back(ObjectID{destination, sqlite3_column_int64(statement, 0)});
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
    if (auto begun = execute("BEGIN IMMEDIATE"); !begun) {
        return begun;
    }
    auto run = [&](const std::string& sql, auto&& bind) -> Result<void> {
        auto prepared = prepare(sql);
        if (!prepared) {
            return std::unexpected(prepared.error());
        }
        Statement statement(*prepared);
        bind(statement.get());
        if (sqlite3_step(statement.get()) != SQLITE_DONE) {
            return std::unexpected(sqliteError("The library store could not be written"));
        }
        return {};
    };
    auto writeAll = [&]() -> Result<void> {
        for (const auto& [entity, row] : request.inserts) {
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
            auto inserted =
                run("INSERT INTO " + quotedSqlIdentifier(entity->name) + " (" + columns +
                        ") VALUES (" + marks + ")",
                    [&](sqlite3_stmt* statement) {
                        int index = 1;
                        sqlite3_bind_int64(statement, index++, row.id);
                        for (const auto& value : row.values) {
                            (void)SqlWhere::bind(statement, index++, value);
                        }
                        for (std::size_t i = 0; i < entity->relationships.size(); ++i) {
                            if (!entity->relationships[i].toMany) {
                                (void)SqlWhere::bind(
                                    statement, index++,
                                    row.toOne[i].isNull() ? Value() : Value(row.toOne[i]));
                            }
                        }
                    });
            if (!inserted) {
                return inserted;
            }
        }
        for (const auto& update : request.updates) {
            if (update.attributes.empty() && update.toOne.empty()) {
                continue;
            }
            std::string assignments;
            for (int index : update.attributes) {
                assignments +=
                    (assignments.empty() ? "" : ", ") +
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
                [&](sqlite3_stmt* statement) {
                    int position = 1;
                    for (int index : update.attributes) {
                        (void)SqlWhere::bind(statement, position++,
                                             update.row.values[static_cast<std::size_t>(index)]);
                    }
                    for (int index : update.toOne) {
                        ObjectID target = update.row.toOne[static_cast<std::size_t>(index)];
                        (void)SqlWhere::bind(statement, position++,
                                             target.isNull() ? Value() : Value(target));
                    }
                    sqlite3_bind_int64(statement, position, update.row.id);
                });
            if (!updated) {
                return updated;
            }
        }
        for (const auto& id : request.deletes) {
            auto deleted =
                run("DELETE FROM " + quotedSqlIdentifier(id.entity->name) + " WHERE id = ?",
                    [&](sqlite3_stmt* statement) { sqlite3_bind_int64(statement, 1, id.row); });
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
                        [&](sqlite3_stmt* statement) { sqlite3_bind_int64(statement, 1, id.row); });
                if (!unlinked) {
                    return unlinked;
                }
            }
        }
        for (const auto& join : request.joins) {
            const auto& relationship = *join.relationship;
            std::string sql =
                join.added
                    ? "INSERT OR IGNORE INTO " + quotedSqlIdentifier(relationship.joinTable) +
                          " (" + quotedSqlIdentifier(relationship.joinColumn) + ", " +
                          quotedSqlIdentifier(relationship.joinInverseColumn) + ") VALUES (?, ?)"
                    : "DELETE FROM " + quotedSqlIdentifier(relationship.joinTable) + " WHERE " +
                          quotedSqlIdentifier(relationship.joinColumn) + " = ? AND " +
                          quotedSqlIdentifier(relationship.joinInverseColumn) + " = ?";
            auto written = run(sql, [&](sqlite3_stmt* statement) {
                sqlite3_bind_int64(statement, 1, join.from);
                sqlite3_bind_int64(statement, 2, join.to);
            });
            if (!written) {
                return written;
            }
        }
        return {};
    };
    if (auto written = writeAll(); !written) {
        (void)execute("ROLLBACK");
        return written;
    }
    if (auto indexed = TextSearchIndex::catchUp(m_db, m_model, m_searchIndexes); !indexed) {
        (void)execute("ROLLBACK");
        return indexed;
    }
    if (auto committed = execute("COMMIT"); !committed) {
        (void)execute("ROLLBACK");
        return committed;
    }
    return {};
}

}  // namespace miravel
