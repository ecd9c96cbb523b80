#pragma once

#include "import/XmlFileImporter.h"

namespace miravel {

// Reads the XML files of the Gourmet recipe manager (".grmt", a "gourmetDoc" root): one
// "recipe" element per recipe with its title, category and cuisine, rating ("4/5 stars"),
// times, yield, source and link, an embedded picture, the ingredient list (ingredients,
// groups, and references to other recipes) and instructions and modifications that carry
// their formatting as escaped markup.
class GourmetImporter : public XmlFileImporter {
public:
    using XmlFileImporter::XmlFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // The stars of "3/5 stars", on the scale of five whatever scale the text names; nothing
    // when the text gives none.
    static std::optional<std::int64_t> parseRating(std::string_view text);

private:
    [[nodiscard]] Result<void> importRecipe(const APElement& element) override;
};

}  // namespace miravel
