#include "rendering/PaneOutput.h"

#include <optional>

#include "grocery/GroceryListController.h"
#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"
#include "rendering/MailHandoff.h"
#include "rendering/MiravelHtml.h"
#include "rendering/PlannerAndGroceryOutput.h"

namespace miravel {

void printGroceryList(const GroceryListController& list, PrintHandoff& printer) {
    printer.printHtml(groceryListHtml(list.items(), list.sortGroceryListByAisles()));
}

bool emailGroceryList(const GroceryListController& list, MailHandoff& mail) {
    const MailText text = groceryListMail(list.items(), list.sortGroceryListByAisles());
    return mail.emailWithContent(text.body, text.subject, {}, std::nullopt);
}

void printWeek(const MealPlannerWeekController& week, PrintHandoff& printer) {
    printer.printHtml(printWeekHtml(week.week(), week.meals()));
}

void printDay(const MealPlannerWeekController& week, PrintHandoff& printer) {
    if (const MealPlannerDayController* day = week.dayList()) {
        printer.printHtml(MiravelHtml::printForDayMealPlan(day->meals(), day->titleText()));
    }
}

bool emailMealPlan(const MealPlannerWeekController& week, MailHandoff& mail) {
    const MailText text = mealPlanMail(week.week(), week.meals());
    return mail.emailWithContent(text.body, text.subject, {}, std::nullopt);
}

bool emailDay(const MealPlannerWeekController& week, MailHandoff& mail) {
    const MealPlannerDayController* day = week.dayList();
    if (day == nullptr) {
        return false;
    }
    const MailText text = dayMealPlanMail(day->titleText(), day->meals());
    return mail.emailWithContent(text.body, text.subject, {}, std::nullopt);
}

}  // namespace miravel
