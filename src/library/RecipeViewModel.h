#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "ingredients/RCRationalNumber.h"

namespace miravel {

class Recipe;
class UserSettings;

// Shown in place of a value the recipe does not have.
inline constexpr const char* kNoValueText = "---";
inline constexpr const char* kRecipeFontName = "Helvetica Neue";
inline constexpr const char* kRecipeTextColour = "#333333";

// Everything the recipe view shows, ready for the widgets.
struct RecipeViewValues {
    std::string name;
    std::string ingredients;  // scaled
    std::string servings;     // scaled, or "---"
    std::string directions;
    std::string notes;
    std::string nutritionalInfo;
    std::string categories;  // the category line
    int stars = 0;           // 0 to 5
    std::string cookTime;
    std::string prepTime;
    std::string difficulty;  // display name, or "---"
    std::string sourceLabel;
    std::optional<std::string> sourceUrl;
    std::optional<std::filesystem::path> photo;
    bool onFavorites = false;
    // What the scale control shows; none is 1.
    std::optional<RCRationalNumber> scale;
    std::string fontName = kRecipeFontName;
    int fontSize = 0;
    std::string textColour = kRecipeTextColour;
};

RecipeViewValues assignRecipeValues(const Recipe& recipe, const UserSettings& settings);

// The recipe's attributes the view follows.
inline constexpr std::array<std::string_view, 13> kObservedRecipeKeys{
    "ingredients", "directions", "onFavorites", "notes", "nutritionalInfo",
    "categories",  "servings",   "source",      "scale", "sourceUrl",
    "photo",       "name",       "rating"};

// The observed attributes as last seen, compared the way the view means "changed": categories
// as a set (of uids), the favourite flag as a boolean, the rating as a number, the rest as
// texts; absent stays distinct from every value, empty text included.
struct ObservedRecipeState {
    std::array<std::optional<std::string>, 10> texts;  // the text attributes, in key order
    std::set<std::string> categories;
    std::optional<bool> onFavorites;
    std::optional<std::int64_t> rating;

    static ObservedRecipeState of(const Recipe& recipe);
    bool operator==(const ObservedRecipeState&) const = default;
};

}  // namespace miravel
