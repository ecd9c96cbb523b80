#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace miravel {

// Microseconds since 1970 UTC in 64 bits reach some 290,000 years either way, so every date
// a person can type (years 1 to 9999) is a moment. The system clock's own time_point counts
// nanoseconds and ends in 2262; never convert a Timestamp to it.
using Timestamp = std::chrono::sys_time<std::chrono::microseconds>;

// Now, as a Timestamp.
Timestamp currentMoment();
// Between Timestamp and the C library's seconds, without the nanosecond round trip of
// system_clock::from_time_t/to_time_t. Seconds beyond what a Timestamp holds are clamped.
Timestamp momentOfTimeT(std::time_t seconds);
std::time_t timeTOf(Timestamp moment);  // rounded down to the second

// The date text exchanged with the service, kept in the settings and in the dictionary form:
// "yyyy-MM-dd HH:mm:ss" in the local time zone, 24-hour clock, ASCII digits whatever the
// user's locale. Fractions of a second are dropped (rounded down).
std::string formatDateText(Timestamp moment);

// Reads the same form back; anything else (other separators, missing fields, out-of-range
// fields, trailing text) gives nothing. A wall-clock time that happens twice when clocks go
// back is read as the earlier moment; one that never happens when clocks go forward is read
// as the moment the clock shows after the jump (02:30 becomes 03:30).
std::optional<Timestamp> parseDateText(std::string_view text);

}  // namespace miravel
