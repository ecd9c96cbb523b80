#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <optional>
#include <string>
#include <vector>

#include "model/Meal.h"
#include "model/Recipe.h"
#include "planner/WeekCalendar.h"
#include "rendering/MiravelHtml.h"
#include "rendering/PlannerAndGroceryOutput.h"
#include "support/StoreTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

// How every printed page begins, up to its body.
std::string page(const std::string& title) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body>";
}

using testing::ScopedLocale;
using testing::ScopedTimeZone;
using testing::StoreTest;
using testing::utc;

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
const std::string kSignature = "Sent from Miravel Recipe Manager. https://www.miravel.app";

// A planned meal: a recipe's name when `recipe` is set, else the meal's own `name`.
struct Planned {
    std::int64_t type;
    std::optional<std::string> name;
    std::optional<std::string> recipe;
    Timestamp date{};
};

class MealPlanOutput : public StoreTest {
protected:
    std::vector<std::shared_ptr<Meal>> meals(const std::vector<Planned>& planned) {
        std::vector<std::shared_ptr<Meal>> made;
        for (const auto& each : planned) {
            auto meal = m_main->insert<Meal>();
            meal->setType(each.type);
            meal->setName(each.name);
            meal->setDate(each.date);
            if (each.recipe) {
                auto recipe = m_main->insert<Recipe>();
                recipe->setName(each.recipe);
                meal->setRecipe(recipe);
            }
            made.push_back(meal);
        }
        return made;
    }

    ScopedTimeZone m_zone{kNewYork};
    ScopedLocale m_locale{"en_US"};
};

struct InnerCase {
    const char* what;
    std::vector<Planned> meals;
    const char* html;
};

TEST_F(MealPlanOutput, listsEachMealTypeOnceInTypeOrderWithNamesInGivenOrder) {
    const std::optional<std::string> none;
    const InnerCase cases[] = {
        {"no meals", {}, ""},
        {"dinners keep their order, breakfast comes first",
         {{2, "Soup", none}, {0, "Eggs", none}, {2, none, "Pie"}},
         "<p>Breakfast: Eggs</p><p>Dinner: Soup, Pie</p>"},
        {"all four types",
         {{3, "Nuts", none}, {2, "Stew", none}, {1, "Salad", none}, {0, "Toast", none}},
         "<p>Breakfast: Toast</p><p>Lunch: Salad</p><p>Dinner: Stew</p><p>Snacks: Nuts</p>"},
        {"the recipe's name wins over the meal's",
         {{1, "Leftovers", "Chili"}},
         "<p>Lunch: Chili</p>"},
        {"a nameless meal alone still shows its type", {{1, none, none}}, "<p>Lunch: </p>"},
        {"a nameless meal among others is left out",
         {{1, none, none}, {1, "Salad", none}, {1, "", none}},
         "<p>Lunch: Salad</p>"},
        {"types outside the four are not listed",
         {{4, "Midnight", none}, {-1, "Never", none}, {3, "Chips", none}},
         "<p>Snacks: Chips</p>"},
        {"user text is escaped",
         {{2, "Mac & Cheese <b>", none}, {2, none, "\"Best\" Pie"}},
         "<p>Dinner: Mac &amp; Cheese &lt;b&gt;, &quot;Best&quot; Pie</p>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MiravelHtml::innerHtmlForMeals(meals(c.meals)), c.html) << c.what;
    }
}

TEST_F(MealPlanOutput, dayDocumentCarriesTheTitleAndOptionallyTheSignature) {
    const auto day = meals({{2, "Soup", std::nullopt}, {0, "Eggs", std::nullopt}});
    const std::string body = "<p>Breakfast: Eggs</p><p>Dinner: Soup</p>";
    EXPECT_EQ(MiravelHtml::printForDayMealPlan(day, "Today & Monday"),
              page("Meal Plan: Today &amp; Monday") + "<h3>Meal Plan: Today &amp; Monday</h3>" +
                  body + "</body></html>");
    EXPECT_EQ(MiravelHtml::htmlForDayOfMeals(day, "Monday", true),
              page("Meal Plan: Monday") + "<h3>Meal Plan: Monday</h3>" + body + "<p>" + kSignature +
                  "</p></body></html>");
    EXPECT_EQ(MiravelHtml::printForDayMealPlan({}, "Monday"),
              page("Meal Plan: Monday") + "<h3>Meal Plan: Monday</h3></body></html>");
}

TEST_F(MealPlanOutput, signatureParagraphIsTheOneOfARecipePage) {
    auto recipe = m_main->insert<Recipe>();
    const std::string withSignature = MiravelHtml::htmlForRecipe(*recipe, true);
    const std::string unwithSignature = MiravelHtml::htmlForRecipe(*recipe, false);
    const std::string tail = "</body></html>";
    const std::string paragraph = withSignature.substr(
        unwithSignature.size() - tail.size(), withSignature.size() - unwithSignature.size());
    const std::string week = MiravelHtml::htmlForWeekMealPlan({}, "x", true);
    EXPECT_EQ(week, page("Meal plan for the week of x") + "<h3>Meal plan for the week of x:</h3>" +
                        paragraph + tail);
}

TEST_F(MealPlanOutput, emptyWeekPrintsOnlyTheHeadingAndMailsOnlyTheSignature) {
    const Week week = WeekCalendar(1).daysInWeek(utc(2026, 12, 9, 17, 0));
    EXPECT_EQ(printWeekHtml(week, {}),
              page("Meal plan for the week of 12/6/26 - 12/12/26") +
                  "<h3>Meal plan for the week of 12/6/26 - 12/12/26:</h3></body></html>");
    const MailText mail = mealPlanMail(week, {});
    EXPECT_EQ(mail.subject, "Meal Plan, 12/6/26 - 12/12/26");
    EXPECT_EQ(mail.body, "\n" + kSignature);
}

TEST_F(MealPlanOutput, weekListsOnlyDaysWithMealsInWeekOrder) {
    const Week week = WeekCalendar(1).daysInWeek(utc(2026, 12, 9, 17, 0));  // Dec 6 ... Dec 12
    // Sorted by date then type, as the planner fetches them.
    const auto weekMeals = meals({
        {2, "Before", std::nullopt, utc(2026, 12, 6, 4, 59, 59)},  // Saturday before, 23:59:59
        {0, "Oats", std::nullopt, utc(2026, 12, 6, 5, 0)},         // Sunday 00:00
        {2, "Soup", std::nullopt, utc(2026, 12, 9, 23, 0)},        // Wednesday
        {2, std::nullopt, "Pie & Cream", utc(2026, 12, 9, 23, 0)},
        {1, std::nullopt, std::nullopt, utc(2026, 12, 13, 4, 30)},  // Saturday 23:30
        {3, "After", std::nullopt, utc(2026, 12, 13, 5, 0)},        // next Sunday 00:00
    });
    EXPECT_EQ(printWeekHtml(week, weekMeals),
              page("Meal plan for the week of 12/6/26 - 12/12/26") +
                  "<h3>Meal plan for the week of 12/6/26 - 12/12/26:</h3>"
                  "<h5>Sunday, December 6, 2026</h5><p>Breakfast: Oats</p>"
                  "<h5>Wednesday, December 9, 2026</h5><p>Dinner: Soup, Pie &amp; Cream</p>"
                  "<h5>Saturday, December 12, 2026</h5><p>Lunch: </p>"
                  "</body></html>");
    const MailText mail = mealPlanMail(week, weekMeals);
    EXPECT_EQ(mail.subject, "Meal Plan, 12/6/26 - 12/12/26");
    EXPECT_EQ(mail.body,
              "Sunday, December 6, 2026\n\nBreakfast: Oats\n\n"
              "Wednesday, December 9, 2026\n\nDinner: Soup\nDinner: Pie & Cream\n\n"
              "Saturday, December 12, 2026\n\nLunch: \n\n"
              "\n" +
                  kSignature);
}

struct LastDayCase {
    const char* what;
    Timestamp weekDay;
    Timestamp meal;
    bool listed;
};

TEST_F(MealPlanOutput, aDayMailsItsTitleAndMealsInTheDayListsOrder) {
    const auto day = meals({{0, std::string("Porridge"), std::nullopt},
                            {2, std::nullopt, std::string("Pie")},
                            {2, std::string("Soup"), std::nullopt}});
    const MailText text = dayMealPlanMail("Wednesday, March 11, 2026", day);
    EXPECT_EQ(text.subject, "Meal Plan, Wednesday, March 11, 2026");
    EXPECT_EQ(text.body,
              "Wednesday, March 11, 2026\n\nBreakfast: Porridge\nDinner: Pie\nDinner: Soup\n\n\n" +
                  kSignature);
    // A day without meals sends only the signature, as an empty week does.
    EXPECT_EQ(dayMealPlanMail("Thursday", {}).body, "\n" + kSignature);
}

TEST_F(MealPlanOutput, lastDayOfTheWeekEndsAtItsOwnMidnightAcrossClockChanges) {
    const WeekCalendar mondayFirst(2);
    const LastDayCase cases[] = {
        // Sunday 8 March has 23 hours: 00:30 on Monday is 25 hours after its start.
        {"short last day, just after", utc(2026, 3, 4, 17, 0), utc(2026, 3, 9, 4, 30), false},
        {"short last day, just before", utc(2026, 3, 4, 17, 0), utc(2026, 3, 9, 3, 30), true},
        // Sunday 1 November has 25 hours: 23:30 is 24.5 hours after its start.
        {"long last day, late evening", utc(2026, 10, 28, 17, 0), utc(2026, 11, 2, 4, 30), true},
        {"long last day, just after", utc(2026, 10, 28, 17, 0), utc(2026, 11, 2, 5, 0), false},
    };
    for (const auto& c : cases) {
        const Week week = mondayFirst.daysInWeek(c.weekDay);
        const auto days = datedMealsOfWeek(week, meals({{2, "Roast", std::nullopt, c.meal}}));
        ASSERT_EQ(days.size(), c.listed ? 1u : 0u) << c.what;
        if (c.listed) {
            EXPECT_EQ(days.front().first, week.back()) << c.what;
        }
    }
}

}  // namespace
}  // namespace miravel
