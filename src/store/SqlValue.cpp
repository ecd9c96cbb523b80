#include "store/SqlValue.h"

#include <sqlite3.h>

#include "lib/TextCollation.h"
#include "store/Statement.h"

namespace miravel {

namespace {

int collateLocalized(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return localizedCaseInsensitiveCompare(
        std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
        std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

}  // namespace

const char* sqlColumnType(AttributeType type) {
    switch (type) {
        case AttributeType::Text:
            return "TEXT";
        case AttributeType::Integer:
        case AttributeType::Boolean:
            return "INTEGER";
        case AttributeType::Double:
        case AttributeType::Date:
            return "REAL";
    }
    return "";
}

std::string quotedSqlIdentifier(std::string_view identifier) {
    std::string text = "\"";
    for (char ch : identifier) {
        text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    }
    return text + "\"";
}

Value columnValue(const Statement& statement, int column, AttributeType type) {
    if (statement.isNull(column)) {
        return Value();
    }
    switch (type) {
        case AttributeType::Text:
            return Value(std::string(statement.columnText(column)));
        case AttributeType::Integer:
            return Value(statement.columnInt64(column));
        case AttributeType::Boolean:
            return Value(statement.columnInt64(column) != 0);
        case AttributeType::Double:
            return Value(statement.columnDouble(column));
        case AttributeType::Date:
            return Value(Value::momentOf(statement.columnDouble(column)));
    }
    return Value();
}

Value storedColumnValue(const Statement& statement, int column) {
    switch (statement.columnType(column)) {
        case Statement::ColumnType::Null:
            return Value();
        case Statement::ColumnType::Integer:
            return Value(statement.columnInt64(column));
        case Statement::ColumnType::Real:
            return Value(statement.columnDouble(column));
        case Statement::ColumnType::Text:
            return Value(std::string(statement.columnText(column)));
    }
    return Value();
}

void registerLocalizedCollation(sqlite3* db) {
    sqlite3_create_collation_v2(db, kLocalizedCollation, SQLITE_UTF8, nullptr, collateLocalized,
                                nullptr);
}

}  // namespace miravel
