#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

class Recipe;

// A recipe file (".miravelrecipe") is one gzip stream holding the JSON text of one recipe;
// a recipe archive (".miravelrecipes") is a zip of such files. Other installations read
// both, so the members, their order and the compression stay as they are (Recipe.h writes
// them).
inline constexpr const char* kRecipeFileExtension = "miravelrecipe";
inline constexpr const char* kRecipeArchiveExtension = "miravelrecipes";

// The file name a recipe travels under: the name without the characters file systems and
// mail programs refuse, "Untitled Recipe" when nothing is left, at most 235 UTF-16 units
// (never half a surrogate pair), then ".miravelrecipe".
std::string recipeFileName(std::string_view recipeName);

// The JSON object a recipe file holds; "Unable to parse this file." when the bytes are not
// gzip (or zlib) of a JSON object.
[[nodiscard]] Result<JsonObject> readRecipeFile(std::string_view fileBytes);

// A member of a recipe's dictionary form when it is a text.
std::optional<std::string> dictionaryText(const JsonObject& dictionary, std::string_view key);

// The text members every reader of the dictionary form takes ("name", "servings", "source",
// "source_url", "prep_time", "cook_time", "difficulty", "ingredients", "directions", "notes",
// "nutritional_info"); one absent or not a text leaves its attribute without a value. The
// rest (image address, rating, favourite, categories, photo) differs from one reader to
// another and is each reader's own.
void setDictionaryTexts(Recipe& recipe, const JsonObject& dictionary);

}  // namespace miravel
