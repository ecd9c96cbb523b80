#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/DateText.h"

namespace miravel {

class Meal;
class Recipe;

// Days of a meal plan in the order they are printed, each with its meals in list order.
using DatedMeals = std::vector<std::pair<Timestamp, std::vector<std::shared_ptr<Meal>>>>;

// The HTML documents the program prints: a recipe's page and the conversion of a free text
// (directions, notes) into paragraphs. Stateless; any thread may use it.
//
// User text put into markup is HTML-escaped (& < > "), unlike a plain string substitution,
// so that a recipe's text can neither break the page nor run script in the print view.
class MiravelHtml {
public:
    // The recipe's page. The program prints without signature; with it, the e-mail signature
    // line closes the page.
    static std::string htmlForRecipe(const Recipe& recipe, bool withSignature);
    static std::string printForRecipe(const Recipe& recipe);
    // Paragraphs ("<p>") at blank lines, "<br/>" for single line breaks; a run of three or
    // more line breaks keeps the extra ones as breaks at the end of the paragraph.
    static std::string htmlForText(std::string_view original);
    // True for a text that has something besides white space and line breaks, and is not
    // the "---" that stands for no value.
    static bool notEmpty(const std::optional<std::string>& text);

    // One day's meals, one "<p>Type: names</p>" line per meal type that has meals.
    static std::string innerHtmlForMeals(const std::vector<std::shared_ptr<Meal>>& meals);
    static std::string htmlForWeekMealPlan(const DatedMeals& days, std::string_view timePeriod,
                                           bool withSignature);
    static std::string htmlForDayOfMeals(const std::vector<std::shared_ptr<Meal>>& meals,
                                         std::string_view timePeriod, bool withSignature);
    static std::string printForWeekMealPlan(const DatedMeals& days, std::string_view timePeriod);
    static std::string printForDayMealPlan(const std::vector<std::shared_ptr<Meal>>& meals,
                                           std::string_view day);

    // How every printed page begins: the document type, the character set declared (a
    // browser left to guess shows accents as mojibake), the title a browser tab or a saved
    // PDF shows, then the body, styled with `bodyStyle` when given. documentEnd closes it.
    static std::string documentStart(std::string_view title, std::string_view bodyStyle = {});
    static constexpr std::string_view documentEnd = "</body></html>";

    // The text with &, <, > and " replaced by their character references.
    static std::string escapeHtml(std::string_view text);
};

}  // namespace miravel
