#include "store/TextSearchIndex.h"

#include <sqlite3.h>

#include <algorithm>

#include "lib/Log.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/PredicateOperators.h"
#include "store/SqlValue.h"

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

std::string quotedSqlText(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

bool execute(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row as an integer, or -1 when there is no row or no table.
std::int64_t queryInteger(sqlite3* db, const std::string& sql, const std::string& parameter) {
    sqlite3_stmt* statement = nullptr;
    std::int64_t result = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, parameter.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            result = sqlite3_column_int64(statement, 0);
        }
    }
    sqlite3_finalize(statement);
    return result;
}

bool isCurrent(sqlite3* db, const Names& names) {
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

bool hasNotedRows(sqlite3* db, const Names& names) {
    return queryInteger(db,
                        "SELECT EXISTS (SELECT 1 FROM " + quotedSqlIdentifier(names.pending) + ")",
                        "") != 0;
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
    sql += "INSERT OR REPLACE INTO Z_SEARCHINDEX (name, folding) VALUES (" +
           quotedSqlText(names.index) + ", " + std::to_string(kFoldingVersion) + ");";
    return sql;
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

TextSearchIndexes prepare(sqlite3* db, const ManagedObjectModel& model, bool readOnly) {
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
                if (execute(db, "BEGIN IMMEDIATE") && execute(db, catchUpSql(names, attribute)) &&
                    execute(db, "COMMIT")) {
                    usable.push_back(&attribute);
                } else {
                    logLine(
                        "The search index {} could not be brought up to date ({}); searches "
                        "will read every row.",
                        names.index, sqlite3_errmsg(db));
                    execute(db, "ROLLBACK");
                }
                continue;
            }
            if (readOnly) {
                continue;
            }
            // Another process may be building the same index: decide again under the lock.
            bool built = execute(db, "BEGIN IMMEDIATE") &&
                         execute(db,
                                 "CREATE TABLE IF NOT EXISTS Z_SEARCHINDEX (name TEXT PRIMARY "
                                 "KEY, folding INTEGER NOT NULL)") &&
                         (isCurrent(db, names) || execute(db, buildSql(names, attribute))) &&
                         execute(db, "COMMIT");
            if (built) {
                usable.push_back(&attribute);
            } else {
                logLine(
                    "The search index {} could not be built ({}); searches will read every row.",
                    names.index, sqlite3_errmsg(db));
                execute(db, "ROLLBACK");
            }
        }
    }
    return usable;
}

Result<void> catchUp(sqlite3* db, const ManagedObjectModel& model,
                     const TextSearchIndexes& indexes) {
    for (const auto& entity : model.entities()) {
        for (const auto& attribute : entity.attributes) {
            if (std::find(indexes.begin(), indexes.end(), &attribute) == indexes.end()) {
                continue;
            }
            // Most saves touch no indexed text (a grocery item checked off): nothing to do.
            const Names names = namesOf(entity, attribute);
            if (hasNotedRows(db, names) && !execute(db, catchUpSql(names, attribute))) {
                return makeError(
                    kStoreErrorDomain, sqlite3_extended_errcode(db),
                    std::string("The search index could not be updated: ") + sqlite3_errmsg(db));
            }
        }
    }
    return {};
}

}  // namespace miravel::TextSearchIndex
