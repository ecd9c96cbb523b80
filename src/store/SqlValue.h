#pragma once

#include <string>
#include <string_view>

#include "store/EntityDescription.h"
#include "store/Value.h"

struct sqlite3;

namespace miravel {

class Statement;

// A column read back as the attribute's type: the inverse of SqlWhere::bind (booleans from
// 0/1, moments from REAL seconds since 1970 UTC).
Value columnValue(const Statement& statement, int column, AttributeType type);

// A column read back as it is stored, whatever it holds: null, an integer, a real number or
// a text.
Value storedColumnValue(const Statement& statement, int column);

// The declared SQL type of a column holding the attribute type.
const char* sqlColumnType(AttributeType type);

// A table or column name as SQL text: in double quotes, inner quotes doubled.
std::string quotedSqlIdentifier(std::string_view identifier);

// The name of the collation that orders names as the user's language does ("LOCALIZED").
inline constexpr const char* kLocalizedCollation = "LOCALIZED";
void registerLocalizedCollation(sqlite3* db);

}  // namespace miravel
