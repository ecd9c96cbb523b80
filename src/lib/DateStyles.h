#pragma once

#include <string>
#include <vector>

#include "lib/DateText.h"

namespace miravel {

// A day as the user's locale writes it, without a time: the short style ("12/7/26" in
// English) and the full style with weekday and month name ("Monday, December 7, 2026").
// The day is the one the moment falls on in the process's time zone (TZ) at the time of the
// call, and the locale is ICU's default one at that time.
std::string shortDateText(Timestamp moment);
std::string fullDateText(Timestamp moment);

// A moment with its time, both in the locale's medium style ("Dec 7, 2026, 2:05:09 PM").
std::string mediumDateTimeText(Timestamp moment);

// The locale's seven weekday names, Sunday first.
std::vector<std::string> weekdayNames();

}  // namespace miravel
