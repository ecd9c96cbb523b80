#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"
#include "lib/JsonValue.h"
#include "model/RecipeCategory.h"

namespace miravel {

class ManagedObjectContext;

inline constexpr const char* kRecipeDictionaryErrorDomain = "miravel.recipe-dictionary";

// What a recipe dictionary holds beyond the fields the edit sheet reads from captured data
// (EditRecipeController::setBrowserData): the parts a person gave the recipe after typing it.
struct RecipeDictionaryExtras {
    std::int64_t rating = 0;
    bool onFavorites = false;
    std::vector<std::shared_ptr<RecipeCategory>> categories;
    // The photo's file name in the library's files folder.
    std::optional<std::string> photo;
};

// Checks a recipe dictionary that a person hands in (such as one "recipe show --json"
// printed, maybe edited) before a recipe is made from it. Every member must have its type
// (text, integer, boolean, an array of texts, or null for none) and an allowed value:
// difficulty "Easy", "Medium", "Hard" or "", rating 0 to 5, a name that is not blank, a
// photo that is a plain file name, categories that name live categories (by uid, or by name
// for a dictionary written by hand). Members the store sets itself (uid, created, hash,
// deleted, photo_hash, photo_url) are allowed and ignored. Anything else, a misspelt member
// included, is refused, each error naming the member: a silently dropped value is worse.
[[nodiscard]] Result<RecipeDictionaryExtras> readRecipeDictionary(ManagedObjectContext& context,
                                                                  const JsonObject& dictionary);

}  // namespace miravel
