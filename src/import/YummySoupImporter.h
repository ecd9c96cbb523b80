#pragma once

#include <string>
#include <string_view>

#include "import/PropertyListImporter.h"

namespace miravel {

// Reads YummySoup's files (".ysr"): a property list holding one dictionary per recipe, with
// directions in HTML, the ingredient records as property-list text inside a string, keywords
// as the categories, and the first picture embedded.
class YummySoupImporter : public PropertyListImporter {
public:
    using PropertyListImporter::PropertyListImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // One line per record, "2 cups flour " or "1 onion , chopped ", each ending with a line
    // feed; a record of another shape gives an empty line.
    static std::string parseIngredients(const JsonValue* text);
    // 1 or less "Easy", 2 "Medium", 3 "Hard", and 4 or more "Easy" again.
    static std::string parseDifficulty(const JsonValue* number);
    // The HTML flattened, without the markers where the later pictures stood.
    static std::string parseDirections(std::string_view html);
    // Every complete tag replaced by one blank; entities stay as written.
    static std::string flattenHTML(std::string_view html);

private:
    [[nodiscard]] Result<void> importRecipe(const JsonValue& dictionary);
};

}  // namespace miravel
