#include "planner/WeekCalendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/UserSettings.h"
#include "support/TemporaryFolder.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::ScopedTimeZone;
using testing::TemporaryFolder;

// POSIX rules, so the tests need no zone database: New York changes on 2026-03-08 and
// 2026-11-01, Berlin on 2026-03-29 and 2026-10-25.
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

Timestamp local(const std::string& text) {
    auto moment = parseDateText(text);
    EXPECT_TRUE(moment.has_value()) << text;
    return moment.value_or(Timestamp{});
}

std::vector<std::string> texts(const Week& week) {
    std::vector<std::string> result;
    for (Timestamp day : week) {
        result.push_back(formatDateText(day));
    }
    return result;
}

std::vector<std::string> daysFrom(const std::vector<std::string>& dates) {
    std::vector<std::string> result;
    for (const auto& date : dates) {
        result.push_back(date + " 00:00:00");
    }
    return result;
}

struct WeekCase {
    const char* zone;
    int firstWeekday;
    const char* date;
    std::vector<std::string> days;
};

TEST(WeekCalendar, daysInWeekStartOnTheChosenWeekdayAtMidnight) {
    const std::vector<WeekCase> cases = {
        // Monday weeks: a Sunday belongs to the week that began six days earlier, even on
        // the day the clocks go forward.
        {kNewYork,
         2,
         "2026-03-08 12:00:00",
         {"2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05", "2026-03-06", "2026-03-07",
          "2026-03-08"}},
        {kNewYork,
         2,
         "2026-03-08 23:59:59",
         {"2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05", "2026-03-06", "2026-03-07",
          "2026-03-08"}},
        {kNewYork,
         2,
         "2026-03-09 00:00:00",
         {"2026-03-09", "2026-03-10", "2026-03-11", "2026-03-12", "2026-03-13", "2026-03-14",
          "2026-03-15"}},
        // Sunday weeks: that Sunday begins its own week, and every later day still starts at
        // 00:00 although the Sunday is 23 hours long.
        {kNewYork,
         1,
         "2026-03-08 00:00:00",
         {"2026-03-08", "2026-03-09", "2026-03-10", "2026-03-11", "2026-03-12", "2026-03-13",
          "2026-03-14"}},
        {kNewYork,
         1,
         "2026-03-14 23:59:59",
         {"2026-03-08", "2026-03-09", "2026-03-10", "2026-03-11", "2026-03-12", "2026-03-13",
          "2026-03-14"}},
        {kNewYork,
         1,
         "2026-11-04 08:00:00",
         {"2026-11-01", "2026-11-02", "2026-11-03", "2026-11-04", "2026-11-05", "2026-11-06",
          "2026-11-07"}},
        // Saturday weeks across a month and a year end.
        {kBerlin,
         7,
         "2026-01-01 10:00:00",
         {"2025-12-27", "2025-12-28", "2025-12-29", "2025-12-30", "2025-12-31", "2026-01-01",
          "2026-01-02"}},
        {kBerlin,
         2,
         "2026-03-29 02:30:00",
         {"2026-03-23", "2026-03-24", "2026-03-25", "2026-03-26", "2026-03-27", "2026-03-28",
          "2026-03-29"}},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        WeekCalendar calendar(c.firstWeekday);
        Timestamp date = local(c.date);
        auto expected = daysFrom(c.days);
        EXPECT_EQ(texts(calendar.daysInWeek(date)), expected) << c.date << " " << c.firstWeekday;
        EXPECT_EQ(formatDateText(calendar.dateForStartOfWeek(date)), expected.front()) << c.date;
        EXPECT_EQ(formatDateText(calendar.dateForEndOfWeek(date)), expected.back()) << c.date;
        EXPECT_EQ(calendar.weekday(calendar.dateForStartOfWeek(date)), c.firstWeekday);
    }
}

TEST(WeekCalendar, stepsAcrossDaylightSavingChangesLandOnTheNeighbouringWeek) {
    ScopedTimeZone zone(kBerlin);
    WeekCalendar monday(2);

    // Spring: a plain-seconds step from the week's first day is an hour past midnight but
    // still inside the next week, which daysInWeek brings back to its start.
    Timestamp springWeek = local("2026-03-23 00:00:00");
    Timestamp stepped = nextWeekStartDay(springWeek);
    EXPECT_EQ(formatDateText(stepped), "2026-03-30 01:00:00");
    EXPECT_EQ(formatDateText(monday.dateForStartOfWeek(stepped)), "2026-03-30 00:00:00");
    EXPECT_EQ(formatDateText(previousWeekStartDay(stepped)), "2026-03-23 00:00:00");
    EXPECT_EQ(texts(monday.weekAfter(springWeek)).front(), "2026-03-30 00:00:00");
    EXPECT_EQ(texts(monday.weekBefore(local("2026-03-30 00:00:00"))).front(),
              "2026-03-23 00:00:00");

    // Autumn: the same step ends at 23:00 on the week's own last day, so only calendar
    // days move the planner on.
    Timestamp autumnWeek = local("2026-10-19 00:00:00");
    EXPECT_EQ(formatDateText(nextWeekStartDay(autumnWeek)), "2026-10-25 23:00:00");
    EXPECT_EQ(texts(monday.weekAfter(autumnWeek)).front(), "2026-10-26 00:00:00");
    EXPECT_EQ(texts(monday.weekAfter(autumnWeek)).back(), "2026-11-01 00:00:00");
    EXPECT_EQ(texts(monday.weekBefore(local("2026-10-26 00:00:00"))).front(),
              "2026-10-19 00:00:00");

    ScopedTimeZone newYork(kNewYork);
    WeekCalendar sunday(1);
    Week week = sunday.weekAfter(local("2026-03-03 09:00:00"));
    EXPECT_EQ(texts(week), daysFrom({"2026-03-08", "2026-03-09", "2026-03-10", "2026-03-11",
                                     "2026-03-12", "2026-03-13", "2026-03-14"}));
    EXPECT_EQ(week[1] - week[0], std::chrono::hours(23));
}

TEST(WeekCalendar, daysAndMonthsAreComparedOnTheLocalCalendar) {
    ScopedTimeZone zone(kNewYork);
    WeekCalendar calendar(1);
    struct Case {
        const char* a;
        const char* b;
        bool sameDay;
        bool sameMonth;
    };
    const std::vector<Case> cases = {
        {"2026-03-07 23:59:00", "2026-03-08 00:01:00", false, true},
        {"2026-03-08 00:00:00", "2026-03-08 23:59:00", true, true},
        {"2026-03-31 23:59:59", "2026-04-01 00:00:00", false, false},
        {"2025-04-01 12:00:00", "2026-04-01 12:00:00", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(calendar.isSameDay(local(c.a), local(c.b)), c.sameDay) << c.a << " " << c.b;
        EXPECT_EQ(calendar.isSameMonth(local(c.a), local(c.b)), c.sameMonth) << c.a;
    }
    // 23:30 in New York is already the next day in UTC: the local day decides.
    EXPECT_TRUE(calendar.isSameDay(testing::utc(2026, 3, 10, 3, 30), local("2026-03-09 08:00:00")));

    EXPECT_EQ(formatDateText(calendar.dateByMovingToBeginningOfDay(local("2026-03-08 15:45:12"))),
              "2026-03-08 00:00:00");
    EXPECT_EQ(
        formatDateText(calendar.dateByMovingToFirstDayOfTheMonth(local("2026-03-31 23:59:59"))),
        "2026-03-01 00:00:00");
    EXPECT_EQ(formatDateText(calendar.dateByAddingDays(local("2026-03-07 09:15:00"), 2)),
              "2026-03-09 09:15:00");
}

TEST(WeekCalendar, userCalendarFollowsTheWeekStartDaySetting) {
    TemporaryFolder folder;
    UserSettings settings(folder / "settings.json");
    EXPECT_EQ(WeekCalendar::userCalendar(settings).firstWeekday(), localeFirstWeekday());
    for (int day = 1; day <= 7; ++day) {
        settings.setInteger(kWeekStartDayKey, day);
        EXPECT_EQ(WeekCalendar::userCalendar(settings).firstWeekday(), day);
    }
    for (int outside : {0, 8, -1}) {
        settings.setInteger(kWeekStartDayKey, outside);
        EXPECT_EQ(WeekCalendar::userCalendar(settings).firstWeekday(), localeFirstWeekday());
    }
}

}  // namespace
}  // namespace miravel
