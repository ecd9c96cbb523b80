#include "store/TextSearchIndex.h"

#include <algorithm>
#include <optional>

#include "lib/Log.h"
#include "store/Database.h"
#include "store/PredicateOperators.h"
#include "store/SqlValue.h"
#include "store/StoreErrorCode.h"
#include "store/Transaction.h"

namespace miravel::TextSearchIndex {
namespace {

constexpr unsigned kFolding =
    PredicateOperators::kCaseInsensitive | PredicateOperators::kDiacriticInsensitive;
constexpr std::size_t kShortestNeedle = 3;  // characters: the tokenizer indexes trigrams

struct Names {
    std::string table, index, pending, insertTrigger, updateTrigger, deleteTrigger;
};

Names namesOf(const EntityDescription& entity, const AttributeDescription& attribute) {
    const std::string index = tableName(entity, attribute);
    return {entity.name,      index, index + "_pending", index + "_insert", index + "_update",
            index + "_delete"};
}

// The first column of the first row as an integer, or -1 when there is no row or no table.
std::int64_t queryInteger(Database& db, const std::string& sql,
                          std::optional<std::string_view> parameter = std::nullopt) {
    auto statement = db.prepare(sql);
    if (!statement || (parameter && !statement->bindText(1, *parameter))) {
        return -1;
    }
    auto row = statement->step();
    return row && *row ? statement->columnInt64(0) : -1;
}

// Runs `work` in an immediate transaction, committed only when all of it succeeded.
template <typename Work>
Result<void> inImmediateTransaction(Database& db, Work&& work) {
    auto transaction = Transaction::begin(db, Transaction::Kind::Immediate);
    if (!transaction) {
        return std::unexpected(std::move(transaction.error()));
    }
    if (auto done = work(); !done) {
        return done;
    }
    return transaction->commit();
}

bool isCurrent(Database& db, const Names& names) {
    const std::int64_t folding =
        queryInteger(db, "SELECT folding FROM Z_SEARCHINDEX WHERE name = ?", names.index);
    if (folding != kFoldingVersion) {
        return false;
    }
    const std::int64_t parts = queryInteger(
        db,
        "SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name IN (?1, ?1 || "
        "'_pending')) OR (type = 'trigger' AND name IN (?1 || '_insert', ?1 || '_update', ?1 || "
        "'_delete'))",
        names.index);
    return parts == 5;
}

bool hasNotedRows(Database& db, const Names& names) {
    return queryInteger(
               db, "SELECT EXISTS (SELECT 1 FROM " + quotedSqlIdentifier(names.pending) + ")") != 0;
}

std::string foldedColumn(std::string_view row, const AttributeDescription& attribute) {
    return "miravel_fold(" + std::string(row) + "." + quotedSqlIdentifier(attribute.name) + ", " +
           std::to_string(kFolding) + ")";
}

// Only texts are indexed: the scan never finds anything in another kind of value either.
std::string isText(std::string_view row, const AttributeDescription& attribute) {
    return "typeof(" + std::string(row) + "." + quotedSqlIdentifier(attribute.name) + ") = 'text'";
}

// Writing the index row by row is slow: the full-text table writes its pending entries out as
// a new segment at the end of every statement that touches it. So the triggers only note which
// rows changed, and each save brings the index up to date in two statements.
std::string buildSql(const Names& names, const AttributeDescription& attribute) {
    const std::string table = quotedSqlIdentifier(names.table);
    const std::string index = quotedSqlIdentifier(names.index);
    const std::string pending = quotedSqlIdentifier(names.pending);
    const std::string column = quotedSqlIdentifier(attribute.name);
    auto note = [&](std::string_view row) {
        return "INSERT OR IGNORE INTO " + pending + " (id) VALUES (" + std::string(row) + ".id);";
    };
    std::string sql;
    for (const auto* trigger : {&names.insertTrigger, &names.updateTrigger, &names.deleteTrigger}) {
        sql += "DROP TRIGGER IF EXISTS " + quotedSqlIdentifier(*trigger) + ";";
    }
    sql += "DROP TABLE IF EXISTS " + index + ";";
    sql += "DROP TABLE IF EXISTS " + pending + ";";
    // Texts are stored folded, so the tokenizer is told not to fold case again.
    sql += "CREATE VIRTUAL TABLE " + index +
           " USING fts5(text, tokenize = 'trigram case_sensitive 1');";
    sql += "CREATE TABLE " + pending + " (id INTEGER PRIMARY KEY);";
    sql += "INSERT INTO " + index + " (rowid, text) SELECT id, " + foldedColumn(table, attribute) +
           " FROM " + table + " WHERE " + isText(table, attribute) + ";";
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.insertTrigger) + " AFTER INSERT ON " +
           table + " BEGIN " + note("new") + " END;";
    // Saves write whole rows: only a real change of this column needs the index.
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.updateTrigger) + " AFTER UPDATE OF " +
           column + " ON " + table + " WHEN old." + column + " IS NOT new." + column + " BEGIN " +
           note("old") + " END;";
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.deleteTrigger) + " AFTER DELETE ON " +
           table + " BEGIN " + note("old") + " END;";
    return sql;
}

// Notes that the index is folded the current way; buildSql made it so.
Result<void> recordFolding(Database& db, const Names& names) {
    auto statement =
        db.prepare("INSERT OR REPLACE INTO Z_SEARCHINDEX (name, folding) VALUES (?1, ?2)");
    if (!statement) {
        return std::unexpected(std::move(statement.error()));
    }
    auto done = statement->bindText(1, names.index);
    if (done) {
        done = statement->bindInt64(2, kFoldingVersion);
    }
    if (!done) {
        return done;
    }
    if (auto row = statement->step(); !row) {
        return std::unexpected(std::move(row.error()));
    }
    return {};
}

std::string catchUpSql(const Names& names, const AttributeDescription& attribute) {
    const std::string table = quotedSqlIdentifier(names.table);
    const std::string index = quotedSqlIdentifier(names.index);
    const std::string pending = quotedSqlIdentifier(names.pending);
    return "DELETE FROM " + index + " WHERE rowid IN (SELECT id FROM " + pending + ");" +
           "INSERT INTO " + index + " (rowid, text) SELECT t.id, " + foldedColumn("t", attribute) +
           " FROM " + table + " t WHERE t.id IN (SELECT id FROM " + pending + ") AND " +
           isText("t", attribute) + ";" + "DELETE FROM " + pending + ";";
}

}  // namespace

std::string tableName(const EntityDescription& entity, const AttributeDescription& attribute) {
    return entity.name + "_" + attribute.name + "_search";
}

std::optional<std::string> substringQuery(std::string_view folded) {
    std::size_t characters = 0;
    for (const char c : folded) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters < kShortestNeedle || folded.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    // One phrase: consecutive trigrams, which is the needle as a substring.
    std::string query = "\"";
    for (const char c : folded) {
        query += c;
        if (c == '"') {
            query += '"';
        }
    }
    query += '"';
    return query;
}

TextSearchIndexes prepare(Database& db, const ManagedObjectModel& model, bool readOnly) {
    TextSearchIndexes usable;
    for (const auto& entity : model.entities()) {
        for (const auto& attribute : entity.attributes) {
            if (!attribute.searchIndexed) {
                continue;
            }
            const Names names = namesOf(entity, attribute);
            if (isCurrent(db, names)) {
                if (!hasNotedRows(db, names)) {
                    usable.push_back(&attribute);
                    continue;
                }
                // Rows another writer changed and did not index: indexed now, or, in a
                // read-only store, searched by reading every row.
                if (readOnly) {
                    continue;
                }
                auto caughtUp = inImmediateTransaction(
                    db, [&] { return db.execute(catchUpSql(names, attribute)); });
                if (caughtUp) {
                    usable.push_back(&attribute);
                } else {
                    logLine(
                        "The search index {} could not be brought up to date ({}); searches "
                        "will read every row.",
                        names.index, caughtUp.error().description);
                }
                continue;
            }
            if (readOnly) {
                continue;
            }
            // Another process may be building the same index: decide again under the lock.
            auto built = inImmediateTransaction(db, [&]() -> Result<void> {
                if (auto table = db.execute(
                        "CREATE TABLE IF NOT EXISTS Z_SEARCHINDEX (name TEXT PRIMARY KEY, folding "
                        "INTEGER NOT NULL)");
                    !table) {
                    return table;
                }
                if (isCurrent(db, names)) {
                    return {};
                }
                if (auto made = db.execute(buildSql(names, attribute)); !made) {
                    return made;
                }
                return recordFolding(db, names);
            });
            if (built) {
                usable.push_back(&attribute);
            } else {
                logLine(
                    "The search index {} could not be built ({}); searches will read every row.",
                    names.index, built.error().description);
            }
        }
    }
    return usable;
}

Result<void> catchUp(Database& db, const ManagedObjectModel& model,
                     const TextSearchIndexes& indexes) {
    for (const auto& entity : model.entities()) {
        for (const auto& attribute : entity.attributes) {
            if (std::find(indexes.begin(), indexes.end(), &attribute) == indexes.end()) {
                continue;
            }
            // Most saves touch no indexed text (a grocery item checked off): nothing to do.
            const Names names = namesOf(entity, attribute);
            if (!hasNotedRows(db, names)) {
                continue;
            }
            if (auto caughtUp = db.execute(catchUpSql(names, attribute)); !caughtUp) {
                return makeError(
                    kStoreErrorDomain, caughtUp.error().code,
                    "The search index could not be updated: " + caughtUp.error().description);
            }
        }
    }
    return {};
}

TextSearchIndexes prepare(sqlite3* db, const ManagedObjectModel& model, bool readOnly) {
    Database borrowed = Database::borrow(db);
    return prepare(borrowed, model, readOnly);
}

Result<void> catchUp(sqlite3* db, const ManagedObjectModel& model,
                     const TextSearchIndexes& indexes) {
    Database borrowed = Database::borrow(db);
    return catchUp(borrowed, model, indexes);
}

}  // namespace miravel::TextSearchIndex
