#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace miravel {

using Timestamp = std::chrono::system_clock::time_point;

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
