#pragma once

namespace miravel {

class GroceryListController;
class MailHandoff;
class MealPlannerWeekController;
class PrintHandoff;

// The print and mail actions of the Groceries and Meals panes: what the pane shows, rendered
// and handed to the printer or the mail program.

// The grocery list as its pane shows it, by aisle or by recipe.
void printGroceryList(const GroceryListController& list, PrintHandoff& printer);
bool emailGroceryList(const GroceryListController& list, MailHandoff& mail);

// The shown week; the day list's meals under its title; the week as an e-mail.
void printWeek(const MealPlannerWeekController& week, PrintHandoff& printer);
void printDay(const MealPlannerWeekController& week, PrintHandoff& printer);
bool emailMealPlan(const MealPlannerWeekController& week, MailHandoff& mail);
// The day list's meals under its title, as an e-mail.
bool emailDay(const MealPlannerWeekController& week, MailHandoff& mail);

}  // namespace miravel
