#include <array>
#include <chrono>
#include <optional>
#include <ostream>
#include <regex>
#include <string>

#include "cli/CommandLine.h"
#include "lib/DateText.h"
#include "planner/WeekCalendar.h"

namespace miravel::cli {

namespace {

constexpr std::array kWeekdayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};

// A day given as YYYY-MM-DD. Noon keeps it clear of a daylight-saving change at midnight.
std::optional<Timestamp> parseDay(const std::string& text) {
    static const std::regex kDay(R"(\d{4}-\d{2}-\d{2})");
    if (!std::regex_match(text, kDay)) {
        return std::nullopt;
    }
    return parseDateText(text + " 12:00:00");
}

int week(Invocation& invocation) {
    Timestamp date = std::chrono::system_clock::now();
    if (auto text = invocation.option("date")) {
        auto day = parseDay(*text);
        if (!day) {
            return invocation.usageError("--date takes a day as YYYY-MM-DD, not \"" + *text +
                                         "\".");
        }
        date = *day;
    }
    WeekCalendar calendar = WeekCalendar::userCalendar();
    for (Timestamp day : calendar.daysInWeek(date)) {
        invocation.out << formatDateText(day).substr(0, 10) << ' '
                       << kWeekdayNames[calendar.weekday(day) - 1] << '\n';
    }
    return kExitOk;
}

}  // namespace

void addPlanVerbs(CommandLine& commandLine) {
    commandLine.add({"plan",
                     "week",
                     "",
                     "Show the seven days of the week that holds a day (today unless given), "
                     "starting on the WeekStartDay setting.",
                     {{"date", "YYYY-MM-DD", "the day whose week to show"}},
                     0,
                     0,
                     week});
}

}  // namespace miravel::cli
