#include "model/TextSearchIndex.h"

#include <sqlite3.h>

#include "lib/Log.h"
#include "model/PredicateOperators.h"
#include "model/SqlValue.h"

namespace miravel::TextSearchIndex {
namespace {

constexpr unsigned kFolding =
    PredicateOperators::kCaseInsensitive | PredicateOperators::kDiacriticInsensitive;
constexpr std::size_t kShortestNeedle = 3;  // characters: the tokenizer indexes trigrams

struct Names {
    std::string table, index, insertTrigger, updateTrigger, deleteTrigger;
};

Names namesOf(const EntityDescription& entity, const AttributeDescription& attribute) {
    const std::string index = tableName(entity, attribute);
    return {entity.name, index, index + "_insert", index + "_update", index + "_delete"};
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
        "SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name = ?1) OR "
        "(type = 'trigger' AND name IN (?1 || '_insert', ?1 || '_update', ?1 || '_delete'))",
        names.index);
    return parts == 4;
}

std::string buildSql(const Names& names, const AttributeDescription& attribute) {
    const std::string table = quotedSqlIdentifier(names.table);
    const std::string index = quotedSqlIdentifier(names.index);
    const std::string column = quotedSqlIdentifier(attribute.name);
    auto folded = [&](std::string_view row) {
        return "miravel_fold(" + std::string(row) + "." + column + ", " + std::to_string(kFolding) +
               ")";
    };
    // Only texts are indexed: the scan never finds anything in another kind of value either.
    auto isText = [&](std::string_view row) {
        return "typeof(" + std::string(row) + "." + column + ") = 'text'";
    };
    auto addRow = "INSERT INTO " + index + " (rowid, text) SELECT new.id, " + folded("new") +
                  " WHERE " + isText("new") + ";";
    auto removeRow = "DELETE FROM " + index + " WHERE rowid = old.id;";
    std::string sql;
    for (const auto* trigger : {&names.insertTrigger, &names.updateTrigger, &names.deleteTrigger}) {
        sql += "DROP TRIGGER IF EXISTS " + quotedSqlIdentifier(*trigger) + ";";
    }
    sql += "DROP TABLE IF EXISTS " + index + ";";
    // Texts are stored folded, so the tokenizer is told not to fold case again.
    sql += "CREATE VIRTUAL TABLE " + index +
           " USING fts5(text, tokenize = 'trigram case_sensitive 1');";
    sql += "INSERT INTO " + index + " (rowid, text) SELECT id, " + folded(table) + " FROM " +
           table + " WHERE " + isText(table) + ";";
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.insertTrigger) + " AFTER INSERT ON " +
           table + " BEGIN " + addRow + " END;";
    // Saves write whole rows: the index is touched only when this column really changed.
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.updateTrigger) + " AFTER UPDATE OF " +
           column + " ON " + table + " WHEN old." + column + " IS NOT new." + column + " BEGIN " +
           removeRow + " " + addRow + " END;";
    sql += "CREATE TRIGGER " + quotedSqlIdentifier(names.deleteTrigger) + " AFTER DELETE ON " +
           table + " BEGIN " + removeRow + " END;";
    sql += "INSERT OR REPLACE INTO Z_SEARCHINDEX (name, folding) VALUES (" +
           quotedSqlText(names.index) + ", " + std::to_string(kFoldingVersion) + ");";
    return sql;
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
                usable.push_back(&attribute);
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

}  // namespace miravel::TextSearchIndex
