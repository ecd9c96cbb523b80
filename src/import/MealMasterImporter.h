#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/TextFileImporter.h"

namespace miravel {

// What a MealMaster recipe's labelled lines give.
struct MealMasterFields {
    std::optional<std::string> name;
    std::optional<std::string> servings;
};

// A recipe while its lines are read.
struct MealMasterOpenRecipe {
    MealMasterFields fields;
    std::vector<std::string> ingredients;
    std::vector<std::string> directions;
    std::vector<std::string> categories;
    std::size_t line = 0;
    // Whether the last ingredient line is an ingredient (not a heading or a gap), which a
    // continuation line may extend.
    bool lastIsIngredient = false;
    // The right-hand column of a two-column block, read after the left-hand one.
    std::vector<std::string> rightColumn;
};

// Reads MealMaster text files (".mmf"): any number of recipes, each opened by a header line
// ("MMMMM----- Recipe via Meal-Master", or the older "---------- Recipe via Meal-Master") and
// closed by an end line ("MMMMM" or "-----"), with "Title:", "Categories:" and "Servings:" or
// "Yield:" lines, a block of ingredient lines in MealMaster's fixed columns (one or two
// columns to a line), section lines ("MMMMM-----SAUCE-----") and running text for the
// directions. The file is read line by line through a small state machine.
class MealMasterImporter : public TextFileImporter {
public:
    using TextFileImporter::TextFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // The labelled parts of a line: the text before its first ":", and the text after it,
    // each trimmed; both "" for a line without a colon.
    static std::string_view lineTitle(std::string_view line);
    static std::string_view lineValue(std::string_view line);

    using Fields = MealMasterFields;
    // Creates one recipe: the ingredient lines one to a line, the direction pieces run
    // together (each wrapped line carries its blank; a paragraph break is "\n\n").
    [[nodiscard]] Result<void> saveRecipe(const Fields& fields,
                                          const std::vector<std::string>& ingredients,
                                          const std::vector<std::string>& directions,
                                          const std::vector<std::string>& categories,
                                          std::size_t line = 0, std::string note = {});

private:
    enum class State { Outside, Header, Categories, Ingredients, Directions };
    using OpenRecipe = MealMasterOpenRecipe;

    [[nodiscard]] Result<void> readLine(std::string_view line, std::size_t number);
    [[nodiscard]] Result<void> closeRecipe(std::string note = {});
    void addIngredientLine(std::string_view line);
    void addColumnItem(std::string_view item);
    void flushColumns();

    State m_state = State::Outside;
    std::optional<OpenRecipe> m_open;
};

}  // namespace miravel
