#include "model/RecipeCategory.h"

#include <algorithm>

#include "lib/StringTable.h"
#include "lib/TextCollation.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"

namespace miravel {

std::vector<std::shared_ptr<Recipe>> RecipeCategory::recipes() const {
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (auto& object : toMany("recipes")) {
        recipes.push_back(std::static_pointer_cast<Recipe>(object));
    }
    return recipes;
}

std::optional<JsonObject> RecipeCategory::objectDictionary() const {
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("name", textMember("name"));
    dictionary.set("order_flag", orderFlag());
    dictionary.set("deleted", deletedMember());
    return dictionary;
}

std::string RecipeCategory::categoriesToString(
    const std::vector<std::shared_ptr<RecipeCategory>>& categories, bool alphabetize) {
    if (categories.empty()) {
        return tr("Uncategorized");
    }
    auto sorted = categories;
    auto byName = [](const auto& a, const auto& b) {
        return localizedCaseInsensitiveCompare(a->name().value_or(""), b->name().value_or(""));
    };
    auto byOrder = [](const auto& a, const auto& b) {
        return a->orderFlag() < b->orderFlag() ? -1 : (a->orderFlag() > b->orderFlag() ? 1 : 0);
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
        int first = alphabetize ? byName(a, b) : byOrder(a, b);
        if (first != 0) {
            return first < 0;
        }
        return (alphabetize ? byOrder(a, b) : byName(a, b)) < 0;
    });
    std::string text;
    for (const auto& category : sorted) {
        if (!text.empty()) {
            text += ", ";
        }
        text += category->name().value_or("");
    }
    return text;
}

}  // namespace miravel
