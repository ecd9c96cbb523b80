#include "planner/WeekCalendar.h"

#include <ctime>
#include <optional>

#include "lib/DateStyles.h"
#include "lib/Log.h"
#include "model/UserSettings.h"

namespace miravel {

namespace {

std::optional<std::tm> localFields(Timestamp date) {
    std::time_t seconds = timeTOf(date);
    std::tm fields{};
    if (::localtime_r(&seconds, &fields) == nullptr) {
        return std::nullopt;
    }
    return fields;
}

// Lets the C library decide whether daylight-saving time applies at the new wall-clock time;
// keeping the old flag would put the result an hour off after a change.
std::optional<Timestamp> fromLocalFields(std::tm fields) {
    fields.tm_isdst = -1;
    // -1 is also a real moment; only a failed call leaves the weekday untouched.
    fields.tm_wday = -1;
    std::time_t seconds = std::mktime(&fields);
    if (fields.tm_wday == -1) {
        return std::nullopt;
    }
    return momentOfTimeT(seconds);
}

std::optional<Timestamp> startOfDay(std::tm fields, int dayOffset = 0) {
    fields.tm_mday += dayOffset;
    fields.tm_hour = 0;
    fields.tm_min = 0;
    fields.tm_sec = 0;
    return fromLocalFields(fields);
}

}  // namespace

WeekCalendar::WeekCalendar(int firstWeekday)
    : m_firstWeekday(firstWeekday >= 1 && firstWeekday <= 7 ? firstWeekday : localeFirstWeekday()) {
}

WeekCalendar WeekCalendar::userCalendar(const UserSettings& settings) {
    return WeekCalendar(static_cast<int>(settings.integer(kWeekStartDayKey)));
}

int WeekCalendar::weekday(Timestamp date) const {
    auto fields = localFields(date);
    return fields ? fields->tm_wday + 1 : 1;
}

Timestamp WeekCalendar::dateByMovingToBeginningOfDay(Timestamp date) const {
    auto fields = localFields(date);
    auto start = fields ? startOfDay(*fields) : std::nullopt;
    return start.value_or(date);
}

Timestamp WeekCalendar::dateByAddingDays(Timestamp date, int days) const {
    auto fields = localFields(date);
    if (!fields) {
        return date;
    }
    fields->tm_mday += days;
    return fromLocalFields(*fields).value_or(date);
}

Week WeekCalendar::daysInWeek(Timestamp date) const {
    Week week{};
    auto fields = localFields(date);
    if (!fields) {
        week.fill(date);
        return week;
    }
    int offset = (fields->tm_wday + 1 - m_firstWeekday + 7) % 7;
    // Each day is computed from the date's own fields rather than by adding to the previous
    // one, so a day whose midnight is skipped cannot shift the rest of the week.
    for (int day = 0; day < 7; ++day) {
        week[day] = startOfDay(*fields, day - offset).value_or(date);
    }
    return week;
}

Week WeekCalendar::weekAfter(Timestamp date) const {
    return daysInWeek(dateByAddingDays(dateForStartOfWeek(date), 7));
}

Week WeekCalendar::weekBefore(Timestamp date) const {
    return daysInWeek(dateByAddingDays(dateForStartOfWeek(date), -7));
}

Timestamp WeekCalendar::dateByMovingToFirstDayOfTheMonth(Timestamp date) const {
    auto fields = localFields(date);
    if (fields) {
        fields->tm_mday = 1;
        if (auto first = startOfDay(*fields)) {
            return *first;
        }
    }
    logLine("Failed to calculate the first day the month based on {}", formatDateText(date));
    return date;
}

bool WeekCalendar::isSameDay(Timestamp date, Timestamp other) const {
    auto a = localFields(date);
    auto b = localFields(other);
    return a && b && a->tm_year == b->tm_year && a->tm_mon == b->tm_mon && a->tm_mday == b->tm_mday;
}

bool WeekCalendar::isSameMonth(Timestamp date, Timestamp other) const {
    auto a = localFields(date);
    auto b = localFields(other);
    return a && b && a->tm_year == b->tm_year && a->tm_mon == b->tm_mon;
}

std::string weekPeriodText(const Week& week) {
    return shortDateText(week.front()) + " - " + shortDateText(week.back());
}

}  // namespace miravel
