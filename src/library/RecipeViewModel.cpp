#include "library/RecipeViewModel.h"

#include <algorithm>

#include "lib/LocalizedSettingsManager.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/UserSettings.h"

namespace miravel {

namespace {

std::string orNoValue(const std::optional<std::string>& value) {
    return value && !value->empty() ? *value : std::string(kNoValueText);
}

}  // namespace

RecipeViewValues assignRecipeValues(const Recipe& recipe, const UserSettings& settings) {
    RecipeViewValues values;
    values.name = recipe.name().value_or("");
    values.ingredients = recipe.scaledIngredients().value_or("");
    values.servings = orNoValue(recipe.scaledServings());
    values.directions = recipe.directions().value_or("");
    values.notes = recipe.notes().value_or("");
    values.nutritionalInfo = recipe.nutritionalInfo().value_or("");
    values.categories = RecipeCategory::categoriesToString(
        recipe.categories(), settings.boolean(kAlphabetizeCategoriesKey));
    values.stars = static_cast<int>(std::clamp<std::int64_t>(recipe.rating().value_or(0), 0, 5));
    values.cookTime = orNoValue(recipe.cookTime());
    values.prepTime = orNoValue(recipe.prepTime());
    const auto& localized = LocalizedSettingsManager::sharedManager();
    const auto difficulty = recipe.difficulty();
    values.difficulty = localized.localizedDifficultyForDifficulty(
        difficulty && !difficulty->empty() ? difficulty : std::nullopt);
    values.sourceLabel = recipe.source().value_or("");
    values.sourceUrl = recipe.sourceUrl();
    values.photo = recipe.photoPath();
    values.onFavorites = recipe.onFavorites().value_or(false);
    values.scale = recipe.scaledFraction();
    values.fontSize = localized.fontSizeForSetting(settings.text(kFontSizeKey));
    return values;
}

ObservedRecipeState ObservedRecipeState::of(const Recipe& recipe) {
    ObservedRecipeState state;
    state.texts = {
        recipe.ingredients(), recipe.directions(), recipe.notes(), recipe.nutritionalInfo(),
        recipe.servings(),    recipe.source(),     recipe.scale(), recipe.sourceUrl(),
        recipe.photo(),       recipe.name()};
    for (const auto& category : recipe.categories()) {
        state.categories.insert(category->uid());
    }
    state.onFavorites = recipe.onFavorites();
    state.rating = recipe.rating();
    return state;
}

}  // namespace miravel
