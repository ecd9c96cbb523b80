#pragma once

#include <memory>
#include <string>
#include <variant>

#include "model/RecipeCategory.h"

namespace miravel {

// The category presets the category column offers before the user's categories, in order.
// They are plain texts, never stored; compared by their English keys (shown translated).
inline constexpr const char* kPresetAllRecipes = "All Recipes";
inline constexpr const char* kPresetMostRecent = "Most Recent";
inline constexpr const char* kPresetTopRated = "Top Rated";
inline constexpr const char* kPresetFavorites = "Favorites";
inline constexpr const char* kPresetUncategorized = "Uncategorized";
inline constexpr const char* kCategoryPresets[] = {
    kPresetAllRecipes, kPresetMostRecent, kPresetTopRated, kPresetFavorites, kPresetUncategorized};

// What the category column selected: a preset (its English key) or one of the user's
// categories.
using CategorySelection = std::variant<std::string, std::shared_ptr<RecipeCategory>>;

// Whoever filters recipes by the category column's selection (the recipe list).
class CategorySelectionListener {
public:
    virtual ~CategorySelectionListener() = default;
    virtual void setCategory(const CategorySelection& selection) = 0;
};

}  // namespace miravel
