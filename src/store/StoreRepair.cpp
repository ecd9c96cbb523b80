#include "store/StoreRepair.h"

#include <ctime>

#include <algorithm>
#include <limits>
#include <set>
#include <system_error>

#include "store/Database.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/SqlValue.h"
#include "store/SqlWhere.h"
#include "store/StoreErrorCode.h"
#include "store/Transaction.h"

namespace miravel {

namespace {

// Seeks past damage per table and direction; each doubles its stride, so this reaches any
// row id many times over.
constexpr int kMostSeeks = 4096;

Error refusal(const std::string& text) {
    return Error{kStoreErrorDomain, static_cast<int>(StoreErrorCode::InvalidRequest), text, {}};
}

std::filesystem::path withSuffix(const std::filesystem::path& file, const std::string& suffix) {
    std::filesystem::path named = file;
    named += suffix;
    return named;
}

// The SQLite files of one database: the file, its log and its shared memory.
const char* const kCompanions[] = {"", "-wal", "-shm"};

void removeDatabaseFiles(const std::filesystem::path& file) {
    std::error_code ignored;
    for (const char* companion : kCompanions) {
        std::filesystem::remove(withSuffix(file, companion), ignored);
    }
}

// Renames a database with its log and shared memory, when they are there.
Result<void> moveDatabaseFiles(const std::filesystem::path& from, const std::filesystem::path& to) {
    for (const char* companion : kCompanions) {
        std::error_code error;
        const auto source = withSuffix(from, companion);
        if (*companion != '\0' && !std::filesystem::exists(source, error)) {
            continue;
        }
        std::filesystem::rename(source, withSuffix(to, companion), error);
        if (error) {
            return std::unexpected(refusal("Could not rename " + source.string() + " to " +
                                           withSuffix(to, companion).string() + ": " +
                                           error.message()));
        }
    }
    return {};
}

// "20261209-165012", the moment of the repair in UTC: sorts, and is a valid file name.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm fields{};
    ::gmtime_r(&now, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &fields);
    return text;
}

Result<std::vector<std::string>> columnsOf(Database& database, const std::string& table) {
    auto statement = database.prepare("PRAGMA table_info(" + quotedSqlIdentifier(table) + ")");
    if (!statement) {
        return std::unexpected(statement.error());
    }
    std::vector<std::string> columns;
    for (;;) {
        auto row = statement->step();
        if (!row) {
            return std::unexpected(row.error());
        }
        if (!*row) {
            return columns;
        }
        columns.emplace_back(statement->columnText(1));
    }
}

// "PRAGMA quick_check" on the file: whether it is sound.
Result<bool> isSound(Database& database) {
    auto check = database.prepare("PRAGMA quick_check(1)");
    if (!check) {
        return isDamageCode(check.error().code) ? Result<bool>(false)
                                                : std::unexpected(check.error());
    }
    auto row = check->step();
    if (!row) {
        return isDamageCode(row.error().code) ? Result<bool>(false) : std::unexpected(row.error());
    }
    return *row && check->columnText(0) == "ok";
}

// Copies the readable rows of one table into the same table of the new store.
class TableCopy {
public:
    TableCopy(Database& from, std::string table, std::vector<std::string> columns, Statement insert)
        : m_from(from),
          m_table(std::move(table)),
          m_columns(std::move(columns)),
          m_insert(std::move(insert)) {}

    // Reads in row id order from one end. Where a read meets damage, the next seek starts
    // further on, in ever longer strides, so the rows past a damaged page are found too.
    Result<void> byRowId(bool ascending) {
        auto statement = m_from.prepare("SELECT rowid, " + columnList() + " FROM " +
                                        quotedSqlIdentifier(m_table) +
                                        (ascending ? " WHERE rowid > ?1 ORDER BY rowid"
                                                   : " WHERE rowid < ?1 ORDER BY rowid DESC"));
        if (!statement) {
            return damageOrFailure(statement.error());
        }
        constexpr auto kLowest = std::numeric_limits<std::int64_t>::min();
        constexpr auto kHighest = std::numeric_limits<std::int64_t>::max();
        std::int64_t bound = ascending ? kLowest : kHighest;
        std::int64_t stride = 1;
        for (int seek = 0; seek < kMostSeeks; ++seek) {
            statement->reset();
            if (auto bound1 = statement->bindInt64(1, bound); !bound1) {
                return bound1;
            }
            bool readAny = false;
            for (;;) {
                auto row = statement->step();
                if (!row) {
                    if (!isDamageCode(row.error().code)) {
                        return std::unexpected(row.error());
                    }
                    break;
                }
                if (!*row) {
                    return {};
                }
                readAny = true;
                stride = 1;
                bound = statement->columnInt64(0);
                if (auto copied = copy(*statement, 1); !copied) {
                    return copied;
                }
            }
            if (readAny) {
                continue;  // the next seek, from the last row read, meets the damage again
            }
            if (ascending ? bound > kHighest - stride : bound < kLowest + stride) {
                return {};
            }
            bound = ascending ? bound + stride : bound - stride;
            stride = stride > kHighest / 2 ? kHighest : stride * 2;
        }
        return {};
    }

    // A table without row ids (a join table) is read from both ends of its key.
    Result<void> byKey() {
        for (const char* order : {"", " DESC"}) {
            std::string orderBy;
            for (const auto& column : m_columns) {
                orderBy += (orderBy.empty() ? "" : ", ") + quotedSqlIdentifier(column) + order;
            }
            auto statement = m_from.prepare("SELECT " + columnList() + " FROM " +
                                            quotedSqlIdentifier(m_table) + " ORDER BY " + orderBy);
            if (!statement) {
                return damageOrFailure(statement.error());
            }
            for (;;) {
                auto row = statement->step();
                if (!row) {
                    if (!isDamageCode(row.error().code)) {
                        return std::unexpected(row.error());
                    }
                    break;
                }
                if (!*row) {
                    break;
                }
                if (auto copied = copy(*statement, 0); !copied) {
                    return copied;
                }
            }
        }
        return {};
    }

private:
    std::string columnList() const {
        std::string list;
        for (const auto& column : m_columns) {
            list += (list.empty() ? "" : ", ") + quotedSqlIdentifier(column);
        }
        return list;
    }

    // A statement that cannot even be prepared over damage reads nothing of the table.
    static Result<void> damageOrFailure(const Error& error) {
        if (isDamageCode(error.code)) {
            return {};
        }
        return std::unexpected(error);
    }

    Result<void> copy(const Statement& row, int first) {
        m_insert.reset();
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            const int column = first + static_cast<int>(i);
            if (auto bound = SqlWhere::bind(m_insert, static_cast<int>(i) + 1,
                                            storedColumnValue(row, column));
                !bound) {
                return bound;
            }
        }
        // OR IGNORE: a row read from both ends is written once.
        if (auto done = m_insert.step(); !done) {
            return std::unexpected(done.error());
        }
        return {};
    }

    Database& m_from;
    std::string m_table;
    std::vector<std::string> m_columns;
    Statement m_insert;
};

struct TableToCopy {
    std::string name;
    bool hasRowIds;
};

// The tables whose rows are the library: every entity's, the join tables, the id sequence.
// The search indexes are not among them; the new store builds its own.
std::vector<TableToCopy> tablesOf(const ManagedObjectModel& model) {
    std::vector<TableToCopy> tables;
    std::set<std::string> joins;
    for (const auto& entity : model.entities()) {
        tables.push_back({entity.name, true});
        for (const auto& relationship : entity.relationships) {
            if (relationship.isManyToMany() && joins.insert(relationship.joinTable).second) {
                tables.push_back({relationship.joinTable, false});
            }
        }
    }
    tables.push_back({"Z_SEQUENCE", true});
    return tables;
}

Result<void> copyTable(Database& from, Database& to, const TableToCopy& table) {
    auto sourceColumns = columnsOf(from, table.name);
    if (!sourceColumns) {
        return isDamageCode(sourceColumns.error().code) ? Result<void>()
                                                        : std::unexpected(sourceColumns.error());
    }
    auto targetColumns = columnsOf(to, table.name);
    if (!targetColumns) {
        return std::unexpected(targetColumns.error());
    }
    // Columns an older store lacks stay empty; ones the model no longer has are left behind.
    std::vector<std::string> columns;
    std::string names;
    std::string parameters;
    for (const auto& column : *targetColumns) {
        if (std::find(sourceColumns->begin(), sourceColumns->end(), column) !=
            sourceColumns->end()) {
            columns.push_back(column);
            names += (names.empty() ? "" : ", ") + quotedSqlIdentifier(column);
            parameters += parameters.empty() ? "?" : ", ?";
        }
    }
    if (columns.empty()) {
        return {};
    }
    auto insert = to.prepare("INSERT OR IGNORE INTO " + quotedSqlIdentifier(table.name) + " (" +
                             names + ") VALUES (" + parameters + ")");
    if (!insert) {
        return std::unexpected(insert.error());
    }
    TableCopy copy(from, table.name, std::move(columns), std::move(*insert));
    if (!table.hasRowIds) {
        return copy.byKey();
    }
    if (auto up = copy.byRowId(true); !up) {
        return up;
    }
    return copy.byRowId(false);
}

Result<std::int64_t> rowCount(Database& database, const std::string& table) {
    auto statement = database.prepare("SELECT count(*) FROM " + quotedSqlIdentifier(table));
    if (!statement) {
        return std::unexpected(statement.error());
    }
    auto row = statement->step();
    if (!row) {
        return std::unexpected(row.error());
    }
    return *row ? statement->columnInt64(0) : 0;
}

// Everything readable of `file` into the new store `target`; the counts per table.
Result<std::vector<std::pair<std::string, std::int64_t>>> copyStore(
    const std::filesystem::path& file, const std::filesystem::path& target,
    const ManagedObjectModel& model) {
    auto from = Database::open(file, Database::Access::ReadOnly);
    if (!from) {
        return std::unexpected(refusal("The library store " + file.string() +
                                       " could not be opened: " + from.error().description));
    }
    auto to = Database::open(target, Database::Access::ReadWrite);
    if (!to) {
        return std::unexpected(to.error());
    }
    auto transaction = Transaction::begin(*to, Transaction::Kind::Immediate);
    if (!transaction) {
        return std::unexpected(transaction.error());
    }
    std::vector<std::pair<std::string, std::int64_t>> counts;
    for (const auto& table : tablesOf(model)) {
        if (auto copied = copyTable(*from, *to, table); !copied) {
            return std::unexpected(copied.error());
        }
        auto count = rowCount(*to, table.name);
        if (!count) {
            return std::unexpected(count.error());
        }
        counts.emplace_back(table.name, *count);
    }
    if (auto committed = transaction->commit(); !committed) {
        return std::unexpected(committed.error());
    }
    return counts;
}

// Whether SQLite can list the tables of the file at all; without that nothing can be read.
bool schemaReadable(const std::filesystem::path& file) {
    auto database = Database::open(file, Database::Access::ReadOnly);
    if (!database) {
        return false;
    }
    auto statement = database->prepare("SELECT name FROM sqlite_schema");
    if (!statement) {
        return false;
    }
    for (;;) {
        auto row = statement->step();
        if (!row) {
            return false;
        }
        if (!*row) {
            return true;
        }
    }
}

}  // namespace

Result<StoreRepair> repairStore(const std::filesystem::path& file,
                                const ManagedObjectModel& model) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::unexpected(
            refusal("There is no library store at " + file.string() + "; nothing to repair."));
    }
    if (!Database::hasSqliteHeader(file)) {
        return std::unexpected(refusal(
            file.string() +
            " is not a database at all, so nothing in it can be recovered. It was left as it "
            "was; move it elsewhere (or delete it) to start a new, empty library there."));
    }
    auto metadata = PersistentStoreCoordinator::metadataForStore(file);
    if (metadata && metadata->applicationId != 0 && !metadata->isMiravelStore()) {
        return std::unexpected(
            refusal(file.string() + " is a database of another program; it was left as it was."));
    }
    {
        auto database = Database::open(file, Database::Access::ReadOnly);
        if (!database) {
            return std::unexpected(
                refusal("The library store " + file.string() +
                        " could not be opened: " + database.error().description));
        }
        auto sound = isSound(*database);
        if (!sound) {
            return std::unexpected(sound.error());
        }
        if (*sound) {
            return StoreRepair{.wasSound = true, .damagedCopy = {}, .recovered = {}};
        }
    }
    if (!schemaReadable(file)) {
        return std::unexpected(refusal(
            "The list of tables in " + file.string() +
            " is damaged itself, so none of its rows can be found. It was left as it was."));
    }

    const auto target = withSuffix(file, ".repairing");
    removeDatabaseFiles(target);
    // Made as any new store is, so the copy has this model's tables and indexes.
    if (auto made = PersistentStoreCoordinator::open(target, model); !made) {
        return std::unexpected(made.error());
    }
    auto counts = copyStore(file, target, model);
    if (counts) {
        // Opened once more so the search indexes take in the copied rows now.
        if (auto reopened = PersistentStoreCoordinator::open(target, model); !reopened) {
            counts = std::unexpected(reopened.error());
        }
    }
    if (!counts) {
        removeDatabaseFiles(target);
        return std::unexpected(counts.error());
    }

    StoreRepair repair;
    repair.recovered = std::move(*counts);
    repair.damagedCopy = withSuffix(file, ".damaged-" + timeStamp());
    if (auto kept = moveDatabaseFiles(file, repair.damagedCopy); !kept) {
        removeDatabaseFiles(target);
        return std::unexpected(kept.error());
    }
    if (auto placed = moveDatabaseFiles(target, file); !placed) {
        // Put the damaged store back rather than leave the library without one.
        (void)moveDatabaseFiles(repair.damagedCopy, file);
        return std::unexpected(placed.error());
    }
    return repair;
}

}  // namespace miravel
