#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/TextFileImporter.h"

namespace miravel {

// Reads MasterCook's text export (".mxp"): recipes opened by the "* Exported from MasterCook *"
// banner, a title line, "Recipe By", "Serving Size ... Preparation Time" and "Categories"
// lines, the ingredient table under its "Amount  Measure  Ingredient -- Preparation Method"
// heading, the directions, and "NOTES".
class MasterCookMxpImporter : public TextFileImporter {
public:
    using TextFileImporter::TextFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // "0:30" as "30 min", "1:05" as "1 hr 05 min", "2:00" as "2 hr 0 min"; nothing for an
    // empty text or ":", and "" for a text that is not hours and minutes.
    static std::optional<std::string> parsePrepTime(std::string_view text);

    struct Fields {
        std::optional<std::string> name;
        std::optional<std::string> source;
        std::optional<std::string> servings;
        std::optional<std::string> prepTime;
    };
    [[nodiscard]] Result<void> saveRecipe(const Fields& fields,
                                          const std::vector<std::string>& ingredients,
                                          const std::vector<std::string>& directions,
                                          const std::vector<std::string>& notes,
                                          const std::vector<std::string>& categories,
                                          std::size_t line = 0);
};

// The preparation time of MasterCook's XML files: as parsePrepTime, untrimmed, and "" for
// anything but hours and minutes.
std::string masterCookElapsedTime(std::string_view text);

}  // namespace miravel
