#pragma once

#include <string>

#include "lib/Error.h"
#include "store/Value.h"

struct sqlite3_stmt;

namespace miravel {

class Statement;

// A compiled predicate: a condition for a WHERE clause and the values of its "?" in order.
struct SqlWhere {
    std::string sql;
    ValueList bindings;

    // Binds `bindings` to the parameters firstIndex, firstIndex + 1, ...
    [[nodiscard]] Result<void> bindTo(Statement& statement, int firstIndex = 1) const;

    // Binds one value the way the store keeps it, so that stored values and predicate values
    // compare as predicates expect: nil as NULL, a boolean as 0 or 1, a date as REAL seconds
    // since 1970, an ObjectID as its row, a text as UTF-8 TEXT (byte for byte, NULs
    // included), and a list as the JSON array text that json_each() reads.
    [[nodiscard]] static Result<void> bind(Statement& statement, int index, const Value& value);

    // The same for a statement held as a raw handle (benchmarks and the fuzzer prepare their
    // own); the values are stored exactly alike.
    [[nodiscard]] Result<void> bindTo(sqlite3_stmt* statement, int firstIndex = 1) const;
    [[nodiscard]] static Result<void> bind(sqlite3_stmt* statement, int index, const Value& value);

    // The JSON array text of a list, as bound. Texts keep their bytes (invalid UTF-8 too),
    // except that json_each() ends a text at an escaped NUL; whole doubles below 2^53 are
    // written as integers, which compare equal to them.
    static std::string jsonArray(const ValueList& items);
};

}  // namespace miravel
