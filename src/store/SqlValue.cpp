#include "store/SqlValue.h"

#include <sqlite3.h>

#include "lib/TextCollation.h"

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

Value columnValue(sqlite3_stmt* statement, int column, AttributeType type) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return Value();
    }
    switch (type) {
        case AttributeType::Text: {
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            int length = sqlite3_column_bytes(statement, column);
            return Value(std::string(text, static_cast<std::size_t>(length)));
        }
        case AttributeType::Integer:
            return Value(static_cast<std::int64_t>(sqlite3_column_int64(statement, column)));
        case AttributeType::Boolean:
            return Value(sqlite3_column_int64(statement, column) != 0);
        case AttributeType::Double:
            return Value(sqlite3_column_double(statement, column));
        case AttributeType::Date:
            return Value(Value::momentOf(sqlite3_column_double(statement, column)));
    }
    return Value();
}

void registerLocalizedCollation(sqlite3* db) {
    sqlite3_create_collation_v2(db, kLocalizedCollation, SQLITE_UTF8, nullptr, collateLocalized,
                                nullptr);
}

}  // namespace miravel
