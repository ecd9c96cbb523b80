#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "import/TextFileImporter.h"

namespace miravel {

// Reads SousChef's files (".vrc"): lines of a key, a colon and a value; a recipe runs from a
// "BEGIN" line to an "END" line, and its ingredient, direction and note lines carry their
// position, so they may come in any order.
class SousChefImporter : public TextFileImporter {
public:
    using TextFileImporter::TextFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    struct Split {
        std::string_view before;
        std::string_view after;
    };
    // The text around the first (find) or the last (rfind) occurrence of the delimiter;
    // nothing when it does not occur.
    static std::optional<Split> find(std::string_view text, std::string_view delimiter);
    static std::optional<Split> rfind(std::string_view text, std::string_view delimiter);
    // The values in ascending order of their positions, joined with the separator.
    static std::string sortAndJoin(const std::map<std::int64_t, std::string>& table,
                                   std::string_view separator);
    // "Example.org" for "http://www.example.org/page".
    static std::string getUrlSource(std::string_view address);

private:
    // Gives the recipe read so far its ingredients, directions and notes and counts it; a
    // recipe whose END line is missing is finished so too, rather than stored half-read.
    [[nodiscard]] Result<void> finishRecipe(std::string note);
    [[nodiscard]] Result<void> readLine(std::string_view key, std::string_view value,
                                        std::size_t line);

    std::shared_ptr<Recipe> m_recipe;
    std::map<std::int64_t, std::string> m_ingredients;
    std::map<std::int64_t, std::string> m_directions;
    std::map<std::int64_t, std::string> m_notes;
    std::size_t m_recipeLine = 0;
};

}  // namespace miravel
