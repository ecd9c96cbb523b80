#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "import/RecipeImporter.h"
#include "lib/JsonValue.h"

namespace miravel {

// The base of the importers of property-list files (an array of recipe dictionaries): reads
// the file, and gives the recipe dictionaries' values as texts, numbers and pictures whatever
// type the writing program chose for them.
class PropertyListImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

protected:
    // The top-level array of the file; "Unable to parse this file." when the bytes are no
    // property list, "There was a problem importing this file." when it holds no array.
    [[nodiscard]] Result<JsonArray> readRecipeArray(const std::filesystem::path& path);

    // Imports each dictionary of the array with `importOne`; an element that is not a
    // dictionary is reported as skipped. A file whose elements all were skipped fails rather
    // than report a success with nothing imported.
    template <typename ImportOne>
    ImportOutcome importEach(const JsonArray& recipes, ImportOne importOne);

    // The recipe's photo from a picture given as data (or, from some writers, as hexadecimal
    // text); nothing is set when the bytes are no picture.
    void setPhotoFrom(Recipe& recipe, const JsonValue* picture);
};

// A text value as it is, a number as its decimal text; nothing for other types.
std::optional<std::string> plistText(const JsonValue* value);
// The text when present and not empty.
std::optional<std::string> plistNonEmptyText(const JsonValue* value);
// The integer of a number (a real is truncated) or of a text's leading digits; 0 otherwise.
std::int64_t plistInteger(const JsonValue* value);
// A member of a dictionary, or nothing when the value is no dictionary.
const JsonValue* plistMember(const JsonValue* dictionary, std::string_view key);
// The elements of an array, or none when the value is no array.
const JsonArray& plistArray(const JsonValue* value);

// Hexadecimal text as bytes: blanks are removed, then each pair of characters is one byte
// (a pair that is not valid hexadecimal gives the value of its valid leading digits, or 0),
// and a final unpaired character is ignored.
std::string decodeHexadecimal(std::string_view text);

template <typename ImportOne>
ImportOutcome PropertyListImporter::importEach(const JsonArray& recipes, ImportOne importOne) {
    std::size_t index = 0;
    for (const JsonValue& element : recipes) {
        ++index;
        if (cancelled()) {
            break;
        }
        if (!element.isObject()) {
            recipeSkipped("element " + std::to_string(index), "not a recipe dictionary");
            continue;
        }
        if (Result<void> imported = importOne(element); !imported) {
            (void)saveNow();
            return outcome(imported.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    if (!recipes.empty() && savedCount() == 0 && !cancelled()) {
        return outcome(importError("There was a problem importing this file.",
                                   "the file holds no recipe dictionary"));
    }
    return outcome();
}

}  // namespace miravel
