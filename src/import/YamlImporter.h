#pragma once

#include "import/RecipeImporter.h"
#include "lib/JsonValue.h"

namespace miravel {

// Reads YAML recipe files (".yml"): one recipe mapping, a sequence of them, or several
// documents, with the keys of the recipe dictionaries ("name", "prep_time", ...); every
// scalar is text.
class YamlImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;
    // One recipe from one mapping; false when the mapping cannot be a recipe (its
    // "categories" is not a list), which ends the import.
    [[nodiscard]] Result<void> parseRecipe(const JsonObject& dictionary);
};

// Reads the Markdown recipes of static recipe sites (".md"): YAML front matter between "---"
// lines with "title", "ingredients" and "directions" (lists or text), "yield", "tags" and
// "image" (a picture beside the file), and the Markdown after it as the notes.
class FrontMatterImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;
};

// The leading integer of a text (after blanks and a sign), 0 for none: "3 stars" is 3.
std::int64_t leadingInteger(std::string_view text);
// "yes", "true" and "1" are true, as is any text whose first letter after blanks, a sign and
// zeros is Y, T or a digit 1-9.
bool leadingBoolean(std::string_view text);

}  // namespace miravel
