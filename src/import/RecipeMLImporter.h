#pragma once

#include "import/XmlFileImporter.h"

namespace miravel {

// Reads RecipeML files (".xml" with a "recipeml" root, as several recipe programs export
// them): "recipe" elements, directly under the root or in a "menu", with a head (title,
// source items, categories, yield, times), ingredients ("ing" with amount, unit, item,
// preparation and alternatives, grouped by "ing-div"), directions ("step"s or a text),
// a description and notes.
class RecipeMLImporter : public XmlFileImporter {
public:
    using XmlFileImporter::XmlFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // "2" for a quantity, "2-3" for a range.
    static std::string quantityText(const APElement* quantity);

private:
    [[nodiscard]] Result<void> importRecipe(const APElement& element) override;
};

}  // namespace miravel
