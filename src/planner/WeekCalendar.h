#pragma once

#include <array>
#include <chrono>
#include <string>

#include "lib/DateText.h"

namespace miravel {

class UserSettings;

// A plain week, in seconds. A step by it from a day start lands an hour off a day start when
// it crosses a daylight-saving change: after the spring change that is still inside the next
// week, but after the autumn change it is 23:00 on the last day of the same week. Step the
// shown week with WeekCalendar::weekAfter / weekBefore, which count calendar days.
inline constexpr std::chrono::seconds kSecondsInAWeek{604800};

// The seven day starts of one week, ascending, the first on the calendar's first weekday.
using Week = std::array<Timestamp, 7>;

// The user's calendar: Gregorian days in the local time zone (the TZ of the process, through
// the C library, so days keep their 00:00 across daylight-saving changes) and a chosen first
// weekday, 1 = Sunday ... 7 = Saturday.
class WeekCalendar {
public:
    // A weekday outside 1...7 falls back to the locale's first weekday.
    explicit WeekCalendar(int firstWeekday);

    // Read afresh on every call, so a change of "WeekStartDay" takes effect at once.
    static WeekCalendar userCalendar(const UserSettings& settings);

    int firstWeekday() const { return m_firstWeekday; }

    // 1 = Sunday ... 7 = Saturday, in the local time zone.
    int weekday(Timestamp date) const;
    // The start (00:00:00) of the date's day; fractions of a second are dropped.
    Timestamp dateByMovingToBeginningOfDay(Timestamp date) const;
    // The same wall-clock time `days` calendar days later (or earlier when negative).
    Timestamp dateByAddingDays(Timestamp date, int days) const;

    Week daysInWeek(Timestamp date) const;
    Timestamp dateForStartOfWeek(Timestamp date) const { return daysInWeek(date).front(); }
    // The start of the week's last day, not its end.
    Timestamp dateForEndOfWeek(Timestamp date) const { return daysInWeek(date).back(); }
    // The week after (before) the one holding the date, by calendar days, so that a
    // daylight-saving change in either direction never repeats or skips a week.
    Week weekAfter(Timestamp date) const;
    Week weekBefore(Timestamp date) const;
    Timestamp dateByMovingToFirstDayOfTheMonth(Timestamp date) const;

    bool isSameDay(Timestamp date, Timestamp other) const;
    bool isSameMonth(Timestamp date, Timestamp other) const;

private:
    int m_firstWeekday;
};

inline Timestamp nextWeekStartDay(Timestamp date) {
    return date + kSecondsInAWeek;
}
inline Timestamp previousWeekStartDay(Timestamp date) {
    return date - kSecondsInAWeek;
}

// "%@ - %@": the week's first and last day in the user's short date style.
std::string weekPeriodText(const Week& week);

}  // namespace miravel
