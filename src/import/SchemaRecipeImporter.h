#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "import/RecipeImporter.h"
#include "lib/JsonValue.h"

namespace miravel {

// Reads schema.org Recipe files (".json"): the JSON-LD form recipe web pages carry, which
// Nextcloud Cookbook keeps beside each recipe's pictures and Mealie and Tandoor write into
// their exports. A file holds one recipe, an array of them or a "@graph"; each becomes a
// recipe as the web clipper would make it, its "recipeCategory" its categories and its "url"
// its source.
class SchemaRecipeImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

protected:
    // The recipes of one JSON text; `pictures` are the picture files that came with it, by
    // name relative to its folder ("full.jpg"): a recipe's photo is the one its "image" names,
    // or, when the folder is the recipe's own, the first. False when the text is no JSON,
    // which is recorded; a failed save ends the import.
    [[nodiscard]] Result<bool> importText(std::string_view text, std::string_view name,
                                          const std::map<std::string, std::string>& pictures,
                                          bool ownFolder);
};

// A ".zip" of such files with their pictures: each recipe's photo is the picture its "image"
// names, else the first picture in its folder of the archive.
class SchemaRecipeArchiveImporter : public SchemaRecipeImporter {
public:
    using SchemaRecipeImporter::SchemaRecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;
};

}  // namespace miravel
