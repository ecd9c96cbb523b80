#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <variant>

#include "cli/CommandLine.h"
#include "cli/Handoffs.h"
#include "cli/LibrarySession.h"
#include "cli/PlanArguments.h"
#include "cli/RecipeLookup.h"
#include "lib/DateText.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"
#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"
#include "planner/WeekCalendar.h"
#include "rendering/MailHandoff.h"
#include "rendering/PaneOutput.h"

namespace miravel::cli {

namespace {

bool hasDayForm(const std::string& text) {
    static const std::regex kDay(R"(\d{4}-\d{2}-\d{2})");
    return std::regex_match(text, kDay);
}

}  // namespace

// A day given as YYYY-MM-DD. Noon keeps it clear of a daylight-saving change at midnight.
std::optional<Timestamp> parsePlanDay(const std::string& text) {
    if (!hasDayForm(text)) {
        return std::nullopt;
    }
    return parseDateText(text + " 12:00:00");
}

std::string planDayError(const std::string& what, const std::string& text) {
    if (hasDayForm(text)) {
        return text + " is not a day.";
    }
    return what + " takes a day as YYYY-MM-DD, not \"" + text + "\".";
}

// The meal types by the names the command line takes, in Meal::Type order; "snack" is
// taken for "snacks" too, and the case does not matter ("Dinner" is what the plan shows).
std::optional<std::int64_t> parseMealType(const std::string& text) {
    constexpr std::array kMealTypeNames{"breakfast", "lunch", "dinner", "snacks"};
    std::string folded = text;
    std::ranges::transform(folded, folded.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    });
    if (folded == "snack") {
        folded = "snacks";
    }
    const auto* found = std::ranges::find(kMealTypeNames, folded);
    if (found == kMealTypeNames.end()) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(found - kMealTypeNames.begin());
}

std::string mealTypeError(const std::string& text) {
    return std::string("--type takes ") + kMealTypeChoices + ", not \"" + text + "\".";
}

namespace {

// Reads an optional YYYY-MM-DD option; false (after the usage message) when it is malformed.
bool dayOption(Invocation& invocation, const std::string& name, std::optional<Timestamp>& day,
               int& code) {
    if (auto text = invocation.option(name)) {
        day = parsePlanDay(*text);
        if (!day) {
            code = invocation.usageError(planDayError("--" + name, *text));
            return false;
        }
    }
    return true;
}

// The meal type a new meal gets unless told: the one the planner preselects. A setting
// edited by hand to no type at all falls back to the planner's own default, dinner.
std::int64_t preselectedMealType(UserSettings& settings) {
    const std::int64_t type = settings.integer(kSelectedMealTypeKey);
    return type >= 0 && type <= 3 ? type : 2;
}

int add(Invocation& invocation) {
    int code = kExitOk;
    std::optional<Timestamp> day;
    if (!dayOption(invocation, "date", day, code)) {
        return code;
    }
    const auto typeText = invocation.option("type");
    const auto type = typeText ? parseMealType(*typeText) : std::nullopt;
    if (typeText && !type) {
        return invocation.usageError(mealTypeError(*typeText));
    }
    return withNamedRecipe(
        invocation,
        [&](LibrarySession& session, ManagedObjectContext& context,
            const std::shared_ptr<Recipe>& recipe) -> int {
            if (!day) {
                day = currentMoment();
            }
            const std::int64_t mealType =
                type.value_or(preselectedMealType(session.application().settings()));
            // Meals sit at the start of their day: the week list's
            // query ends at its last day's start.
            const Timestamp start = WeekCalendar(1).dateByMovingToBeginningOfDay(*day);
            auto meal = createMealWithType(context, mealType, start, recipe);
            if (!meal) {
                return invocation.failure(meal.error().description);
            }
            invocation.out << formatDateText(*day).substr(0, 10) << ' ' << (*meal)->typeString()
                           << ": " << recipe->name().value_or("") << " (order "
                           << (*meal)->orderFlag() << ")\n";
            return kExitOk;
        });
}

// A planner opened on the week holding `date` (today when none), with its day list showing
// `day` when one is given.
struct Planner {
    Planner(LibrarySession& session, ManagedObjectContext& context)
        : dayList(context, nullptr),
          weekList(context, session.application().settings(), context.notificationCenter(), nullptr,
                   &dayList) {}

    void show(std::optional<Timestamp> date, std::optional<Timestamp> day) {
        if (day) {
            weekList.showDay(*day);
        } else if (date) {
            weekList.chooseWeek(*date);
        }
    }

    MealPlannerDayController dayList;
    MealPlannerWeekController weekList;
};

// Opens the library and shows the week holding `date` (today without one), or the day `day`
// in its week, then runs `body` on the planner.
int withPlanner(Invocation& invocation, std::optional<Timestamp> date, std::optional<Timestamp> day,
                const std::function<int(LibrarySession&, Planner&)>& body) {
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    Planner planner(session, *context);
    planner.show(date, day);
    return body(session, planner);
}

// The week holding the date (today without one): each day, then its meals by type.
int week(Invocation& invocation) {
    int code = kExitOk;
    std::optional<Timestamp> date;
    if (!dayOption(invocation, "date", date, code)) {
        return code;
    }
    return withPlanner(invocation, date, std::nullopt,
                       [&](LibrarySession& session, Planner& planner) -> int {
                           const WeekCalendar calendar =
                               WeekCalendar::userCalendar(session.application().settings());
                           for (Timestamp day : planner.weekList.week()) {
                               invocation.out << formatDateText(day).substr(0, 10) << ' '
                                              << kWeekdayNames[calendar.weekday(day) - 1] << '\n';
                               for (const auto& meal : planner.weekList.mealsForDay(day)) {
                                   invocation.out << "  " << meal->typeString() << ": "
                                                  << meal->mealName().value_or("") << '\n';
                               }
                           }
                           return kExitOk;
                       });
}

int day(Invocation& invocation) {
    const auto date = parsePlanDay(invocation.arguments[0]);
    if (!date) {
        return invocation.usageError(planDayError("the day", invocation.arguments[0]));
    }
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    MealPlannerDayController dayList(*context, nullptr);
    dayList.setDate(*date);
    invocation.out << dayList.titleText() << '\n';
    if (dayList.showsNoMeals()) {
        invocation.out << tr("No meals scheduled.") << '\n';
    }
    int number = 0;
    for (const auto& row : dayList.rows()) {
        if (const auto* header = std::get_if<std::string>(&row)) {
            invocation.out << *header << '\n';
        } else {
            invocation.out << "  " << ++number << ". "
                           << std::get<std::shared_ptr<Meal>>(row)->mealName().value_or("") << '\n';
        }
    }
    return kExitOk;
}

int print(Invocation& invocation) {
    int code = kExitOk;
    std::optional<Timestamp> date, day;
    if (!dayOption(invocation, "date", date, code) || !dayOption(invocation, "day", day, code)) {
        return code;
    }
    if (day && (date || invocation.has("week"))) {
        return invocation.usageError("print either --week (with --date) or --day.");
    }
    std::optional<std::filesystem::path> file;
    if (!outputFileOption(invocation, file, code)) {
        return code;
    }
    return withPlanner(invocation, date, day, [&](LibrarySession&, Planner& planner) -> int {
        CommandLinePrintHandoff printer(file, invocation.out);
        if (day) {
            printDay(planner.weekList, printer);
        } else {
            printWeek(planner.weekList, printer);
        }
        if (!printer.result()) {
            return invocation.failure(printer.result().error().description);
        }
        return kExitOk;
    });
}

int mail(Invocation& invocation) {
    int code = kExitOk;
    std::optional<Timestamp> date;
    if (!dayOption(invocation, "date", date, code)) {
        return code;
    }
    return withPlanner(
        invocation, date, std::nullopt, [&](LibrarySession& session, Planner& planner) -> int {
            MailHandoff handoff(mailUrlOpener(invocation), session.application().settings());
            if (!emailMealPlan(planner.weekList, handoff)) {
                return invocation.failure("could not open the mail program (xdg-open failed).");
            }
            return kExitOk;
        });
}

}  // namespace

void addPlanVerbs(CommandLine& commandLine) {
    commandLine.add({"plan",
                     "week",
                     "",
                     "Show the week that holds a day (today unless given), each day with its "
                     "meals, starting on the WeekStartDay setting.",
                     {{"date", "YYYY-MM-DD", "the day whose week to show"}},
                     0,
                     0,
                     week,
                     LibraryAccess::Reads});
    commandLine.add({"plan",
                     "add",
                     "NAME|UID",
                     "Add a recipe to the meal plan on a day, after that day's other meals.",
                     {{"date", "YYYY-MM-DD", "the day of the meal (today unless given)"},
                      {"type", "TYPE",
                       std::string(kMealTypeChoices) + " (the SelectedMealType setting unless "
                                                       "given)"}},
                     1,
                     1,
                     add});
    commandLine.add({"plan",
                     "day",
                     "YYYY-MM-DD",
                     "List a day's meals under their meal types, numbered as plan edit, move "
                     "and delete take them.",
                     {},
                     1,
                     1,
                     day,
                     LibraryAccess::Reads});
    commandLine.add({"plan",
                     "print",
                     "",
                     "Write the printed meal plan (HTML) of a week (today's unless --date) or "
                     "of one day to standard output or a file.",
                     {{"week", "", "print the week (the default)"},
                      {"date", "YYYY-MM-DD", "a day of the week to print"},
                      {"day", "YYYY-MM-DD", "print this day instead of a week"},
                      {"output", "FILE", "write the page to FILE"}},
                     0,
                     0,
                     print,
                     LibraryAccess::Reads});
    commandLine.add({"plan",
                     "mail",
                     "",
                     "Show the mailto address of a week's meal plan (today's unless --date), "
                     "or open it in the mail program.",
                     {{"date", "YYYY-MM-DD", "a day of the week to send"},
                      {"open", "", "open the message in the mail program"}},
                     0,
                     0,
                     mail,
                     LibraryAccess::Reads});
}

}  // namespace miravel::cli
