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
};

// Reads a recipe archive (".miravelrecipes"): every entry is read as a recipe file, whatever
// its name. A damaged entry is skipped; the import then reports the last such error, after
// importing every good entry.
class MiravelRecipesImporter : public MiravelRecipeImporter {
public:
    using MiravelRecipeImporter::MiravelRecipeImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;
};

// The members a recipe file carries into a recipe, shared by the importer and by opening a
// recipe file from the desktop (which reads fewer of them).
struct RecipeFileMembers {
    bool notes = true;
    bool rating = true;
};
void copyRecipeFileMembers(const JsonObject& object, Recipe& recipe, RecipeFileMembers members);

}  // namespace miravel
