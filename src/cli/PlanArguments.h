#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "lib/DateText.h"

namespace miravel::cli {

// The day and meal type forms every plan verb takes: a day as YYYY-MM-DD, a type as
// breakfast, lunch, dinner or snack(s).
std::optional<Timestamp> parsePlanDay(const std::string& text);
std::optional<std::int64_t> parseMealType(const std::string& text);

// The weekdays in the calendar's numbering: 1 = Sunday ... 7 = Saturday.
inline constexpr std::array kWeekdayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

}  // namespace miravel::cli
