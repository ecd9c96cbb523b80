#include "rendering/PlannerAndGroceryOutput.h"

#include <variant>

#include "lib/DateStyles.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "rendering/RecipeText.h"

namespace miravel {

namespace {

// The same closing line as a recipe e-mail, after a blank line.
std::string mailSignature() {
    return "\n" + emailSignatureText();
}

const ConsolidatedItem* rowAfter(const GroceryListEntries& entries, std::size_t index) {
    if (index + 1 >= entries.size()) {
        return nullptr;
    }
    const auto* row = std::get_if<std::shared_ptr<ConsolidatedItem>>(&entries[index + 1]);
    return row != nullptr ? row->get() : nullptr;
}

// The list shows an aisle section under the aisle's translated name, but a message goes to
// people whose program may be in another language, so it carries the stored aisle, which
// every translation knows: the aisle of the section's first row.
std::string mailedTitle(const GroceryListEntries& entries, std::size_t index, bool groupedByAisle) {
    const auto& title = std::get<std::string>(entries[index]);
    const ConsolidatedItem* row = groupedByAisle ? rowAfter(entries, index) : nullptr;
    if (row == nullptr) {
        return title;
    }
    return row->aisle().empty() ? std::string(kMiscellaneousAisle) : row->aisle();
}

}  // namespace

DatedMeals datedMealsOfWeek(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals) {
    // Only adding days is asked of the calendar, which does not depend on the first weekday.
    const WeekCalendar calendar(1);
    DatedMeals days;
    for (std::size_t i = 0; i < week.size(); ++i) {
        const Timestamp start = week[i];
        const Timestamp end =
            i + 1 < week.size() ? week[i + 1] : calendar.dateByAddingDays(start, 1);
        std::vector<std::shared_ptr<Meal>> meals;
        for (const auto& meal : weekMeals) {
            const auto date = meal ? meal->date() : std::nullopt;
            if (date && *date >= start && *date < end) {
                meals.push_back(meal);
            }
        }
        if (!meals.empty()) {
            days.emplace_back(start, std::move(meals));
        }
    }
    return days;
}

std::string printWeekHtml(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals) {
    return MiravelHtml::printForWeekMealPlan(datedMealsOfWeek(week, weekMeals),
                                             weekPeriodText(week));
}

MailText mealPlanMail(const Week& week, const std::vector<std::shared_ptr<Meal>>& weekMeals) {
    std::string body;
    for (const auto& [day, meals] : datedMealsOfWeek(week, weekMeals)) {
        body += fullDateText(day) + "\n\n";
        for (const auto& meal : meals) {
            body += meal->typeString() + ": " + meal->mealName().value_or("") + "\n";
        }
        body += "\n";
    }
    body += mailSignature();
    return {tr("Meal Plan") + ", " + weekPeriodText(week), std::move(body)};
}

MailText dayMealPlanMail(const std::string& title,
                         const std::vector<std::shared_ptr<Meal>>& meals) {
    std::string body;
    if (!meals.empty()) {
        body += title + "\n\n";
        for (const auto& meal : meals) {
            body += meal->typeString() + ": " + meal->mealName().value_or("") + "\n";
        }
        body += "\n";
    }
    body += mailSignature();
    return {tr("Meal Plan") + ", " + title, std::move(body)};
}

std::string groceryListHtml(const GroceryListEntries& entries, bool groupedByAisle) {
    const auto& settings = LocalizedSettingsManager::sharedManager();
    const std::string title = tr("Grocery List");
    std::string html = MiravelHtml::documentStart(
                           title, "font-family:Helvetica, sans-serif; padding:0; margin:0;") +
                       "<h3>" + MiravelHtml::escapeHtml(title) + "</h3>";
    bool titleWritten = false;
    for (const auto& entry : entries) {
        if (const auto* title = std::get_if<std::string>(&entry)) {
            // The list's own titles are translated already; a stored aisle name passed in
            // instead is translated here.
            const std::string shown =
                groupedByAisle ? settings.localizedAisleForAisle(*title) : *title;
            html += titleWritten ? "<br/>" : "";
            html += "<h4>" + MiravelHtml::escapeHtml(shown) + "</h4>";
            titleWritten = true;
        } else if (const auto& row = std::get<std::shared_ptr<ConsolidatedItem>>(entry)) {
            html += "<p>" + std::string(row->purchased() ? "\u2713 " : "") +
                    MiravelHtml::escapeHtml(row->name()) + "</p>";
        }
    }
    return html + std::string(MiravelHtml::documentEnd);
}

MailText groceryListMail(const GroceryListEntries& entries, bool groupedByAisle) {
    std::string body;
    bool titleWritten = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (std::holds_alternative<std::string>(entries[i])) {
            body += titleWritten ? "\n" : "";
            body += mailedTitle(entries, i, groupedByAisle) + "\n";
            titleWritten = true;
        } else if (const auto& row = std::get<std::shared_ptr<ConsolidatedItem>>(entries[i])) {
            body += (row->purchased() ? "\u2713 " : "") + row->name() + "\n";
        }
    }
    body += mailSignature();
    return {tr("Grocery List"), std::move(body)};
}

}  // namespace miravel
