#include "import/YumImporter.h"

#include "model/Recipe.h"

namespace miravel {

Result<void> YumImporter::importRecipe(const APElement& element) {
    std::string ingredients;
    for (const APElement* ingredient :
         childElements(element.firstChildElementNamed("IngredientList"), "Ingredient")) {
        for (std::string_view part : {"Amount", "Unit", "Foodstuff"}) {
            const std::string text = valueOf(ingredient->firstChildElementNamed(part)).value_or("");
            if (!text.empty()) {
                ingredients += text + " ";
            }
        }
        ingredients += "\n";
    }
    auto recipe = insertRecipe();
    recipe->setName(valueOf(element.firstChildElementNamed("Name")));
    recipe->setServings(valueOf(element.firstChildElementNamed("Serves")));
    recipe->setSource(valueOf(element.firstChildElementNamed("Source")));
    recipe->setIngredients(std::move(ingredients));
    recipe->setDirections(valueOf(element.firstChildElementNamed("Method")));
    for (const APElement* category :
         childElements(element.firstChildElementNamed("CategoryList"), "Category")) {
        addCategoryToRecipe(valueOf(category).value_or(""), *recipe);
    }
    return recipeFinished(*recipe, {}, element.line());
}

ImportOutcome YumImporter::parseFile(const std::filesystem::path& path) {
    auto document = readDocument(path, {"YumExport"});
    if (!document) {
        return outcome(document.error());
    }
    return importRecipes(
        childElements(document->root()->firstChildElementNamed("RecipeList"), "Recipe"));
}

}  // namespace miravel
