#pragma once

#include <cstdint>
#include <functional>
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
    // Reads the file and imports each dictionary of its top-level array with `importOne` as
    // the reader comes to it, so that the file's recipes never stand in memory all at once;
    // an element that is not a dictionary is reported as skipped. "Unable to parse this
    // file." when the bytes are no property list (the recipes before the break are kept, as
    // in the XML formats); "There was a problem importing this file." when it holds no
    // array, or when all its elements were skipped, rather than report a success with
    // nothing imported.
    ImportOutcome importEachRecipe(const std::filesystem::path& path,
                                   const std::function<Result<void>(const JsonValue&)>& importOne);

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

}  // namespace miravel
