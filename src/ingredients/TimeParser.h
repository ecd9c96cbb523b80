#pragma once

#include <cstdint>
#include <string_view>

namespace miravel {

// Reads an hour count and a minute count out of the free preparation and cook time texts
// ("1 hr 30 min", "1h30m", "45 Minutes"). The texts are stored as typed; they are only read
// here to order recipes by time.
//
// Each count is the first number followed (after optional spaces) by an hour or a minute word
// in English or in the user's language, in any letter case; 0 when there is none. A fraction
// or decimal between the number and the word is skipped, and digits that belong to such a
// fraction never count on their own: "1 1/2 hours" and "1.5 hours" are 1 hour, "1/2 hour" is
// 0 hours (not 2). Any Unicode decimal digits count. A number too large for 32 bits reads as
// 2147483647 instead of wrapping.
//
// Safe to call from any thread: the patterns are compiled once, each call matches with its
// own matcher. Texts are UTF-8; invalid sequences are read as U+FFFD.
class TimeParser {
public:
    [[nodiscard]] static std::int32_t parseHours(std::string_view text);
    [[nodiscard]] static std::int32_t parseMinutes(std::string_view text);
};

// Orders two time texts by total minutes (hours * 60 + minutes, computed in 64 bits so huge
// counts cannot wrap): -1 when `text` is shorter than `other`, 0 when equal, +1 when longer.
// Texts without a time count as 0 minutes.
[[nodiscard]] int cookTimeCompare(std::string_view text, std::string_view other);

}  // namespace miravel
