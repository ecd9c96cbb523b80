#pragma once

#include "import/RecipeImporter.h"
#include "lib/JsonValue.h"

namespace miravel {

// Reads a recipe file (".miravelrecipe") of this or another installation into the library.
// The file's uid, created date, photo name and hashes are not taken over: the recipe is new
// here.
class MiravelRecipeImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;
    // One recipe from the inflated bytes of a recipe file (its JSON text).
    [[nodiscard]] Result<std::shared_ptr<Recipe>> parseRecipeFromData(std::string_view fileBytes);

protected:
    [[nodiscard]] Result<std::shared_ptr<Recipe>> recipeFromObject(const JsonObject& object);
    // The same, with the file's photo already written (by photoFromObject) under `photo`.
    [[nodiscard]] std::shared_ptr<Recipe> recipeFromObject(const JsonObject& object,
                                                           std::optional<std::string> photo);
    // Writes the photo a recipe file carries, if it carries one that is a picture; any thread.
    std::optional<std::string> photoFromObject(const JsonObject& object) const;
};

// Reads a recipe archive (".miravelrecipes"): every entry is read as a recipe file, whatever
// its name. A damaged entry is skipped; the import then reports the last such error, after
// importing every good entry.
//
// The entries are read in two stages: a reading thread inflates and parses them and writes
// their photos, ahead of the store, while the importing thread puts the recipes into the
// store, in archive order. Only the importing thread touches the importer's context.
class MiravelRecipesImporter : public MiravelRecipeImporter {
public:
    using MiravelRecipeImporter::MiravelRecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // How much the reading thread may have parsed ahead of the store, in bytes of recipe
    // files: a save of a batch takes long enough for the reading thread to run dry otherwise.
    static constexpr std::uint64_t kBytesAhead = 8ULL << 20;
};

// The members a recipe file carries into a recipe, shared by the importer and by opening a
// recipe file from the desktop (which reads fewer of them).
struct RecipeFileMembers {
    bool notes = true;
    bool rating = true;
};
void copyRecipeFileMembers(const JsonObject& object, Recipe& recipe, RecipeFileMembers members);

}  // namespace miravel
