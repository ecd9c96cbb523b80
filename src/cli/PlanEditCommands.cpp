#include <charconv>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/PlanArguments.h"
#include "cli/RecipeLookup.h"
#include "grocery/ChooseIngredientsController.h"
#include "lib/DateText.h"
#include "lib/TextPieces.h"
#include "model/GroceryListItem.h"
#include "model/Meal.h"
#include "model/UserSettings.h"
#include "planner/EditMealController.h"
#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"

namespace miravel::cli {

namespace {

std::string dayText(Timestamp day) {
    return formatDateText(day).substr(0, 10);
}

std::string describe(const Meal& meal) {
    return dayText(meal.date().value_or(Timestamp{})) + ' ' + meal.typeString() + ": " +
           meal.mealName().value_or("");
}

// The library and the day list of the day in the first argument, with the meal the second
// argument numbers as "plan day" shows them.
struct MealOfDay {
    explicit MealOfDay(Invocation& invocation)
        : session(invocation),
          dayList(session.context()
                      ? std::make_unique<MealPlannerDayController>(*session.context(), &answers)
                      : nullptr) {}

    // The command line asked already: every question is answered with the first button.
    struct Answers : MealPlannerDayDelegate {
        std::size_t runCriticalAlert(const std::string&, const std::vector<std::string>&) override {
            return 0;
        }
    };

    // kExitOk when the meal was found.
    int find(Invocation& invocation) {
        const auto day = parsePlanDay(invocation.arguments[0]);
        if (!day) {
            return invocation.usageError(planDayError("the day", invocation.arguments[0]));
        }
        const std::string& text = invocation.arguments[1];
        std::size_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc{} || end != text.data() + text.size() || number == 0) {
            return invocation.usageError("the meal is given by its number in \"plan day\".");
        }
        if (!dayList) {
            return kExitFailure;
        }
        dayList->setDate(*day);
        const auto meals = dayList->meals();
        if (number > meals.size()) {
            return invocation.failure("there is no meal " + text + " on " +
                                      dayText(dayList->date()) + " (see \"plan day\").");
        }
        meal = meals[number - 1];
        for (std::size_t row = 0; row < dayList->rows().size(); ++row) {
            if (dayList->mealAtRow(row) == meal) {
                mealRow = row;
            }
        }
        return kExitOk;
    }

    ManagedObjectContext& context() { return *session.context(); }

    Answers answers;
    LibrarySession session;
    std::unique_ptr<MealPlannerDayController> dayList;
    std::shared_ptr<Meal> meal;
    std::size_t mealRow = 0;
};

int edit(Invocation& invocation) {
    if (invocation.has("name") && invocation.has("recipe")) {
        return invocation.usageError("a meal is either --name or --recipe.");
    }
    const auto name = invocation.option("name");
    const auto trimmed = name ? trimmedName(*name) : std::nullopt;
    if (name && !trimmed) {
        return invocation.usageError("--name needs a meal name that is not blank.");
    }
    const auto typeText = invocation.option("type");
    const auto type = typeText ? parseMealType(*typeText) : std::nullopt;
    if (typeText && !type) {
        return invocation.usageError(mealTypeError(*typeText));
    }
    const auto dateText = invocation.option("date");
    const auto date = dateText ? parsePlanDay(*dateText) : std::nullopt;
    if (dateText && !date) {
        return invocation.usageError(planDayError("--date", *dateText));
    }
    MealOfDay found(invocation);
    if (int code = found.find(invocation); code != kExitOk) {
        return code;
    }
    EditMealController editor(found.context(), found.session.application().settings());
    editor.setMeal(found.meal);
    if (trimmed) {
        editor.setMode(EditMealController::Mode::Name);
        editor.setNameText(*trimmed);
    }
    if (auto recipeName = invocation.option("recipe")) {
        int code = kExitOk;
        auto recipe = oneRecipe(invocation, found.context(), *recipeName, code);
        if (!recipe) {
            return code;
        }
        editor.setMode(EditMealController::Mode::Recipe);
        editor.setRecipe(recipe);
    }
    if (type) {
        editor.setType(*type);
    }
    if (date) {
        editor.setDate(*date);
    }
    auto saved = editor.donePressed();
    if (!saved) {
        return invocation.failure(saved.error().description);
    }
    invocation.out << describe(**saved) << '\n';
    return kExitOk;
}

int move(Invocation& invocation) {
    const auto target = parsePlanDay(invocation.arguments[2]);
    if (!target) {
        return invocation.usageError(planDayError("the new day", invocation.arguments[2]));
    }
    MealOfDay found(invocation);
    if (int code = found.find(invocation); code != kExitOk) {
        return code;
    }
    auto payload = found.dayList->dragPayload({found.mealRow});
    MealPlannerWeekController weekList(found.context(), found.session.application().settings(),
                                       found.context().notificationCenter(), nullptr);
    weekList.showDay(*target);
    const int row = weekList.selectedRow();
    auto meal = payload ? found.dayList->mealForPayload(*payload) : nullptr;
    if (!meal || !weekList.validateDrop(*meal, row)) {
        return invocation.failure("the meal is on " + dayText(*target) + " already.");
    }
    if (auto moved = weekList.acceptDrop(meal, row); !moved) {
        return invocation.failure(moved.error().description);
    }
    invocation.out << describe(*meal) << '\n';
    return kExitOk;
}

int remove(Invocation& invocation) {
    MealOfDay found(invocation);
    if (int code = found.find(invocation); code != kExitOk) {
        return code;
    }
    const std::string description = describe(*found.meal);
    auto deleted = found.dayList->deleteMeal(found.mealRow);
    if (!deleted) {
        return invocation.failure(deleted.error().description);
    }
    invocation.out << "Removed " << description << '\n';
    return kExitOk;
}

// The chooser as the command line shows it: every row kept, what was added listed.
class KeepEverything : public MealPlannerWeekDelegate {
public:
    explicit KeepEverything(std::ostream& out) : m_out(out) {}
    void presentIngredientChooser(ChooseIngredientsController& chooser) override {
        if (chooser.items().empty()) {
            chooser.cancelPressed();
            m_result = std::unexpected(
                Error{"miravel.planner", 3, "the planned recipes have no ingredients.", {}});
            return;
        }
        chooser.selectAllCheckboxClicked(true);
        for (const auto& item : chooser.items()) {
            m_added.push_back(item->name().value_or(""));
        }
        m_result = chooser.donePressed();
    }
    void showNotice(const std::string& text) override {
        for (const auto& name : m_added) {
            m_out << name << '\n';
        }
        m_out << text << '\n';
    }
    const Result<void>& result() const { return m_result; }

private:
    std::ostream& m_out;
    std::vector<std::string> m_added;
    Result<void> m_result;
};

int toGrocery(Invocation& invocation) {
    const bool week = invocation.has("week");
    if (week == invocation.has("day") || (invocation.has("date") && !week)) {
        return invocation.usageError("choose --week (with --date) or --day.");
    }
    const auto dateText = invocation.option(week ? "date" : "day");
    const auto date = dateText ? parsePlanDay(*dateText) : std::nullopt;
    if (dateText && !date) {
        return invocation.usageError(
            planDayError("--" + std::string(week ? "date" : "day"), *dateText));
    }
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    KeepEverything chooser(invocation.out);
    MealPlannerWeekController weekList(*context, session.application().settings(),
                                       context->notificationCenter(), &chooser);
    if (week && date) {
        weekList.chooseWeek(*date);
    } else if (!week) {
        weekList.showDay(*date);
    }
    if (week) {
        if (weekList.recipesForWeek().empty()) {
            return invocation.failure("no recipes are planned that week.");
        }
        weekList.addWeekToGroceryList();
    } else {
        if (weekList.recipesForDay(weekList.selectedDay()).empty()) {
            return invocation.failure("no recipes are planned that day.");
        }
        weekList.addDayToGroceryList();
    }
    if (!chooser.result()) {
        return invocation.failure(chooser.result().error().description);
    }
    return kExitOk;
}

}  // namespace

void addPlanEditVerbs(CommandLine& commandLine) {
    commandLine.add({"plan",
                     "edit",
                     "YYYY-MM-DD N",
                     "Change meal N of a day (numbered as \"plan day\" shows them).",
                     {{"name", "TEXT", "make it a meal by name"},
                      {"recipe", "NAME|UID", "make it a recipe of the library"},
                      {"type", "TYPE", kMealTypeChoices},
                      {"date", "YYYY-MM-DD", "move it to another day"}},
                     2,
                     2,
                     edit});
    commandLine.add({"plan",
                     "move",
                     "YYYY-MM-DD N TO-DATE",
                     "Move meal N of a day to another day.",
                     {},
                     3,
                     3,
                     move});
    commandLine.add({"plan",
                     "delete",
                     "YYYY-MM-DD N",
                     "Remove meal N of a day from the meal plan.",
                     {},
                     2,
                     2,
                     remove});
    commandLine.add({"plan",
                     "to-grocery",
                     "",
                     "Add the ingredients of the recipes planned in a week or on a day to the "
                     "grocery list.",
                     {{"week", "", "the week holding --date (today when none)"},
                      {"date", "YYYY-MM-DD", "a day of the week"},
                      {"day", "YYYY-MM-DD", "one day only"}},
                     0,
                     0,
                     toGrocery});
}

}  // namespace miravel::cli
