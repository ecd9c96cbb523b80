#pragma once

#include <optional>
#include <string>
#include <vector>

#include "import/PropertyListImporter.h"

namespace miravel {

// Reads MacGourmet's export files (".mgourmet", ".mgourmet3"): a property list, XML or
// binary, whose top level holds one dictionary per recipe. Ingredients come as records of
// quantity, measurement, description and direction, some gathered in groups under a heading;
// times as coded records (what the time is for, amounts and their units); the difficulty as a
// number; the photo as data or as hexadecimal text.
class MacGourmetImporter : public PropertyListImporter {
public:
    using PropertyListImporter::PropertyListImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // "2 cups flour sifted " from the record's four parts, each followed by a blank.
    static std::string parseIngredient(const JsonValue& record);
    // The lines of the records joined with line feeds; a group is set off by an empty line
    // and opens with its heading and a colon.
    static std::string parseIngredients(const JsonValue* records);
    // Each entry's text followed by a paragraph break.
    static std::string parseDirections(const JsonValue* entries);
    // Up to 2 "Easy", 3 or 4 "Medium", 5 and more "Hard".
    static std::string parseDifficulty(const JsonValue* number);
    static std::vector<std::string> parseCategories(const JsonValue* entries);
    // "1 hours 30 minutes" from the time records of preparation (types 8 and 9) or of
    // cooking (5 and 12).
    static std::string parsePrepTime(const JsonValue* records);
    static std::string parseCookTime(const JsonValue* records);
    static std::optional<std::string> getUnit(std::int64_t unitId);

private:
    [[nodiscard]] Result<void> importRecipe(const JsonValue& dictionary);
};

}  // namespace miravel
