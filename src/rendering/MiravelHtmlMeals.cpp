#include <array>

#include "lib/DateStyles.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "rendering/MiravelHtml.h"
#include "rendering/RecipeText.h"

namespace miravel {

namespace {

constexpr std::size_t kMealTypeCount = 4;

// The line that closes an e-mailed page, as on a recipe's page.
std::string signatureParagraph() {
    return "<p>" + MiravelHtml::escapeHtml(emailSignatureText()) + "</p>";
}

}  // namespace

std::string MiravelHtml::innerHtmlForMeals(const std::vector<std::shared_ptr<Meal>>& meals) {
    std::array<std::vector<const Meal*>, kMealTypeCount> groups;
    for (const auto& meal : meals) {
        const std::int64_t type = meal ? meal->type() : -1;
        if (type >= 0 && type < static_cast<std::int64_t>(kMealTypeCount)) {
            groups[static_cast<std::size_t>(type)].push_back(meal.get());
        }
    }
    std::string html;
    for (std::size_t type = 0; type < kMealTypeCount; ++type) {
        if (groups[type].empty()) {
            continue;
        }
        // A meal that lost both its recipe and its name leaves no trace in the list, but its
        // type still shows that something was planned.
        std::string names;
        for (const Meal* meal : groups[type]) {
            const auto name = meal->mealName();
            if (!name || name->empty()) {
                continue;
            }
            names += names.empty() ? "" : ", ";
            names += escapeHtml(*name);
        }
        html += "<p>" + escapeHtml(Meal::typeName(static_cast<std::int64_t>(type))) + ": " + names +
                "</p>";
    }
    return html;
}

std::string MiravelHtml::htmlForWeekMealPlan(const DatedMeals& days, std::string_view timePeriod,
                                             bool withSignature) {
    const std::string title = tr("Meal plan for the week of") + " " + std::string(timePeriod);
    std::string html = documentStart(title) + "<h3>" + escapeHtml(title) + ":</h3>";
    for (const auto& [day, meals] : days) {
        html += "<h5>" + escapeHtml(fullDateText(day)) + "</h5>" + innerHtmlForMeals(meals);
    }
    if (withSignature) {
        html += signatureParagraph();
    }
    return html + std::string(documentEnd);
}

std::string MiravelHtml::htmlForDayOfMeals(const std::vector<std::shared_ptr<Meal>>& meals,
                                           std::string_view timePeriod, bool withSignature) {
    const std::string title = tr("Meal Plan") + ": " + std::string(timePeriod);
    std::string html =
        documentStart(title) + "<h3>" + escapeHtml(title) + "</h3>" + innerHtmlForMeals(meals);
    if (withSignature) {
        html += signatureParagraph();
    }
    return html + std::string(documentEnd);
}

std::string MiravelHtml::printForWeekMealPlan(const DatedMeals& days, std::string_view timePeriod) {
    return htmlForWeekMealPlan(days, timePeriod, false);
}

std::string MiravelHtml::printForDayMealPlan(const std::vector<std::shared_ptr<Meal>>& meals,
                                             std::string_view day) {
    return htmlForDayOfMeals(meals, day, false);
}

}  // namespace miravel
