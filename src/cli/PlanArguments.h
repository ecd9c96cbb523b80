#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "lib/DateText.h"

namespace miravel::cli {

// The day and meal type forms every plan verb takes: a day as YYYY-MM-DD, a type as
// breakfast, lunch, dinner or snacks in any case ("snack" too).
std::optional<Timestamp> parsePlanDay(const std::string& text);
std::optional<std::int64_t> parseMealType(const std::string& text);

// The weekdays in the calendar's numbering: 1 = Sunday ... 7 = Saturday.
inline constexpr std::array kWeekdayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

// Why `text` is no day, for the usage message of `what` ("--date", "the day"): a real
// calendar day is asked for when the form is right ("2026-02-30 is not a day."), the form
// otherwise.
std::string planDayError(const std::string& what, const std::string& text);

// The meal types as the help and the messages name them, and the message for a type that
// is none of them.
inline constexpr const char* kMealTypeChoices = "breakfast, lunch, dinner or snacks";
std::string mealTypeError(const std::string& text);

}  // namespace miravel::cli
