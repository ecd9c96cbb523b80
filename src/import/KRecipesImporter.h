#pragma once

#include "import/XmlFileImporter.h"

namespace miravel {

// Reads the XML files of the KRecipes recipe manager (".kreml", and its ".kre" export when
// it holds the same XML; a "krecipes" root): "krecipes-recipe" elements with a description
// (title, authors, pictures, categories, servings or a yield, preparation time), the
// ingredients with their groups and substitutes, the instructions and the raters' comments.
class KRecipesImporter : public XmlFileImporter {
public:
    using XmlFileImporter::XmlFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // "2" for an amount of 2, "0.75-1" for one given as its least and most.
    static std::string amountText(const APElement* amount);

    // "1 hr 30 min" for "01:30", "30 min" for "00:30"; a text without a colon as it is.
    static std::string parsePrepTime(std::string_view text);

private:
    [[nodiscard]] Result<void> importRecipe(const APElement& element) override;
};

}  // namespace miravel
