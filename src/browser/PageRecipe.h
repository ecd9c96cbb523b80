#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/JsonValue.h"

namespace miravel {

// Ingredient lines under one heading; the heading is empty for lines before any.
struct IngredientGroup {
    std::string heading;
    std::vector<std::string> lines;
};

// A recipe as a page gave it, every text plain (no markup, white space collapsed).
struct PageRecipe {
    // Where on the page the recipe was found, most trusted first.
    enum class Origin { JsonLd, Microdata, RecipeMarkup, Headings };

    Origin origin = Origin::JsonLd;
    std::string name;
    std::vector<IngredientGroup> ingredientGroups;
    // The steps in order; the name of a section of steps is a line of its own before them.
    std::vector<std::string> directions;
    std::string servings;
    std::string prepTime;  // as people type it: "1 hr 30 min"
    std::string cookTime;
    std::string totalTime;
    std::optional<double> totalMinutes;
    std::string imageUrl;  // absolute
    std::string nutrition;
    std::string notes;

    // Every ingredient line without the headings.
    std::vector<std::string> ingredientLines() const;
    // The lines as a recipe keeps them: each group's heading ends in ":" and stands on a line
    // of its own before its lines, as in the recipe files of other programs.
    std::string ingredientsText() const;
    bool hasIngredients() const;
};

// The recipe in the dictionary form the editor is filled from: "name", "ingredients",
// "directions", "servings", "prep_time", "cook_time", "source", "source_url", "image_url",
// "nutritional_info", "notes"; a field the page did not give is null.
JsonObject recipeDictionary(const PageRecipe& recipe, std::string_view pageUrl);

// The name of the site at `url`: its host without "www.", first letter in upper case
// ("Example.org"); the whole text when it is no web address.
std::string sourceNameForUrl(std::string_view url);

// An ISO 8601 duration ("PT1H30M", "P1DT2H") as people write it ("1 hr 30 min",
// "1 day 2 hr"), with its length in minutes; nothing when `text` is no such duration.
struct DurationText {
    std::string text;
    double minutes = 0;
};
std::optional<DurationText> readIsoDuration(std::string_view text);

// `reference` resolved against the page address `base` (RFC 3986 in the forms pages use:
// absolute, scheme-relative, root-relative and relative paths).
std::string resolvedUrl(std::string_view base, std::string_view reference);

}  // namespace miravel
