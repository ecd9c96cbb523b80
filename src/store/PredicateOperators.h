#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

#include "store/Value.h"

namespace miravel {

// What a predicate's comparisons mean, shared by the in-memory evaluator and by the SQL
// functions the compiled WHERE clauses call, so that the two can only agree.
//
// - nil equals nil and nothing else; every ordering with nil is false.
// - Booleans, integers and doubles compare by exact value (2^53 + 1 is not 2^53 as a double,
//   as in SQLite). Dates compare as the seconds the store keeps (Value::secondsOf). Texts
//   compare byte by byte (UTF-8 byte order is code point order). Objects are equal when
//   entity and row are; they have no order. Lists are equal element by element; no order.
// - Values of different kinds (a text and a number, a date and a number) are never equal
//   and have no order.
class PredicateOperators {
public:
    static constexpr unsigned kCaseInsensitive = 1;       // [c]
    static constexpr unsigned kDiacriticInsensitive = 2;  // [d]

    static std::string foldText(std::string_view text, unsigned options);
    // Text folded per `options`, and the texts inside lists; other values as they are.
    static Value folded(Value value, unsigned options);
    // A double NaN (which SQLite stores as NULL) and an ObjectID without entity become nil,
    // also inside lists.
    static Value normalized(Value value);

    static bool equal(const Value& a, const Value& b);
    // Unordered when either is nil or the kinds differ or have no order.
    static std::partial_ordering compare(const Value& a, const Value& b);

    // Byte-wise; an empty needle is found in every text.
    static bool contains(std::string_view haystack, std::string_view needle);
    static bool beginsWith(std::string_view text, std::string_view prefix);
    static bool endsWith(std::string_view text, std::string_view suffix);
    // The whole text against a pattern where "*" is any run of characters, "?" one character
    // (one UTF-8 sequence, or one byte of an invalid one) and "\" takes the next pattern byte
    // literally. Runs in time proportional to text size times pattern size at worst.
    static bool like(std::string_view text, std::string_view pattern);
    // The whole text against an ICU regular expression. An invalid expression matches
    // nothing, and so does a match that takes too many steps (a deterministic count, so both
    // sides give up on the same inputs).
    static bool matches(std::string_view text, std::string_view pattern, bool caseInsensitive);

    // Length of the UTF-8 sequence at `index`, or 1 for a byte that does not start one.
    static std::size_t characterLength(std::string_view text, std::size_t index);
};

}  // namespace miravel
