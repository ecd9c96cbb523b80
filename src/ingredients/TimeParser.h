#pragma once

#include <cstdint>
#include <string_view>

namespace miravel {

// Reads an hour count and a minute count out of the free preparation and cook time texts
// ("1 hr 30 min", "1h30m", "45 Minutes"). The texts are stored as typed; they are only read
// here to order recipes by time.
//
// Each count is the first number followed (after optional spaces) by an hour or a minute word
// in English or in the user's language, in any letter case; 0 when there is none. A number
// may carry a fraction or decimal part ("1 1/2 hours", "1.5 hours", "½ hour"); the counts
// are its whole part (1 hour), the total in minutes includes it (90). Digits that belong to
// such a fraction never count on their own: "1/2 hour" is not 2 hours. Any Unicode decimal
// digits count. A number too large for 32 bits reads as 2147483647 instead of wrapping.
//
// Safe to call from any thread: the patterns are compiled once, each call matches with its
// own matcher. Texts are UTF-8; invalid sequences are read as U+FFFD.
class TimeParser {
public:
    [[nodiscard]] static std::int32_t parseHours(std::string_view text);
    [[nodiscard]] static std::int32_t parseMinutes(std::string_view text);
    // Hours * 60 + minutes with their fractions, to the nearest minute: "1 1/2 hours" and
    // "1.5 hours" are 90, "½ hour" 30. A text that is only a number is minutes ("90").
    [[nodiscard]] static std::int64_t totalMinutes(std::string_view text);
};

// Orders two time texts by TimeParser::totalMinutes() (computed in 64 bits so huge counts
// cannot wrap): -1 when `text` is shorter than `other`, 0 when equal, +1 when longer.
// Texts without a time count as 0 minutes.
[[nodiscard]] int cookTimeCompare(std::string_view text, std::string_view other);

}  // namespace miravel
