#pragma once

#include "import/XmlFileImporter.h"

namespace miravel {

// Reads Yum's export files (".xml" with a "YumExport" root): a "RecipeList" of "Recipe"
// elements, each with its name, source, servings, method, an "IngredientList" of amount, unit
// and foodstuff, and a "CategoryList".
class YumImporter : public XmlFileImporter {
public:
    using XmlFileImporter::XmlFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

private:
    [[nodiscard]] Result<void> importRecipe(const APElement& element) override;
};

}  // namespace miravel
