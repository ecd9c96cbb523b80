#pragma once

#include <string>

#include "lib/DateText.h"

namespace miravel {

// A day as the user's locale writes it, without a time: the short style ("12/7/26" in
// English) and the full style with weekday and month name ("Monday, December 7, 2026").
// The day is the one the moment falls on in the process's time zone (TZ) at the time of the
// call, and the locale is ICU's default one at that time.
std::string shortDateText(Timestamp moment);
std::string fullDateText(Timestamp moment);

}  // namespace miravel
