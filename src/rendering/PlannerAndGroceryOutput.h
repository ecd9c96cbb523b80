#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "grocery/ConsolidatedItem.h"
#include "lib/DateText.h"
#include "planner/WeekCalendar.h"
#include "rendering/MiravelHtml.h"

namespace miravel {

class Meal;

// A plain-text message for the mail hand-off.
struct MailText {
    std::string subject;
    std::string body;
};

// The dates of `week` that have meals, in week order, each with its meals from `weekMeals`
// (the week's meals sorted by date and type) in their given order.
DatedMeals datedMealsOfWeek(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals);

// printWeek: — the printed week.
std::string printWeekHtml(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals);
// emailMealPlan: — subject "Meal Plan, <period>" and the plain-text plan with the signature.
MailText mealPlanMail(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals);

// One day's plan as an e-mail, as the week's lists each day: subject "Meal Plan, <title>",
// the title, a blank line, one "type: name" line per meal in the given order, the signature.
MailText dayMealPlanMail(const std::string& title, const std::vector<std::shared_ptr<Meal>>& meals);

// printGroceryList: — the printed list; section titles shown by their aisle's display name
// when the list is grouped by aisle.
std::string groceryListHtml(const GroceryListEntries& entries, bool groupedByAisle);
// emailGroceryList: — subject "Grocery List" and the plain-text list with the signature;
// section titles are the stored aisle names when the list is grouped by aisle.
MailText groceryListMail(const GroceryListEntries& entries, bool groupedByAisle);

}  // namespace miravel
