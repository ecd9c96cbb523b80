#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <ostream>
#include <regex>
#include <string>

#include "cli/CommandLine.h"
#include "cli/RecipeLookup.h"
#include "lib/DateText.h"
#include "library/MealCreation.h"
#include "model/Meal.h"
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

// The meal types by the names the command line takes, in Meal::Type order.
constexpr std::array kMealTypeNames{"breakfast", "lunch", "dinner", "snacks"};

int add(Invocation& invocation) {
    const auto dateText = invocation.option("date");
    const auto day = dateText ? parseDay(*dateText) : std::nullopt;
    if (!day) {
        return invocation.usageError("--date takes a day as YYYY-MM-DD.");
    }
    const auto typeText = invocation.option("type");
    const auto* found =
        typeText ? std::ranges::find(kMealTypeNames, *typeText) : kMealTypeNames.end();
    if (found == kMealTypeNames.end()) {
        return invocation.usageError("--type takes breakfast, lunch, dinner or snacks.");
    }
    const auto type = static_cast<std::int64_t>(found - kMealTypeNames.begin());
    return withNamedRecipe(invocation,
                           [&](LibrarySession&, ManagedObjectContext& context,
                               const std::shared_ptr<Recipe>& recipe) -> int {
                               auto meal = createMealWithType(context, type, *day, recipe);
                               if (!meal) {
                                   return invocation.failure(meal.error().description);
                               }
                               invocation.out << formatDateText(*day).substr(0, 10) << ' '
                                              << (*meal)->typeString() << ": "
                                              << recipe->name().value_or("") << " (order "
                                              << (*meal)->orderFlag() << ")\n";
                               return kExitOk;
                           });
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
    commandLine.add({"plan",
                     "add",
                     "NAME|UID",
                     "Add a recipe to the meal plan on a day, after that day's other meals.",
                     {{"date", "YYYY-MM-DD", "the day of the meal"},
                      {"type", "TYPE", "breakfast, lunch, dinner or snacks"}},
                     1,
                     1,
                     add});
}

}  // namespace miravel::cli
