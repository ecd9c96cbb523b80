#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "import/ImportTestSupport.h"
#include "ingredients/AmountText.h"
#include "ingredients/IngredientParser.h"

namespace miravel::testing {

inline const std::filesystem::path kPeerFiles =
    std::filesystem::path(MIRAVEL_CORPUS) / "recipefiles" / "other";

// The corpus files of the open-source recipe managers, imported under the extension that
// chooses their importer (some are stored as ".txt").
class PeerFormatTest : public LibraryTest {
protected:
    MiravelWindowController::ImportRun importPeerFile(const std::string& file,
                                                      const std::string& extension) {
        const auto source = kPeerFiles / file;
        if (!std::filesystem::exists(source)) {
            return {};
        }
        const auto copy = m_folder / std::filesystem::path(file).replace_extension(extension);
        std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
        return importFile(copy);
    }
    static bool haveCorpus() { return std::filesystem::exists(kPeerFiles); }
};

// The ingredient parser reads the line back into the amount and unit it was made of.
inline void expectReadBack(const std::string& line, std::string_view amount,
                           std::optional<std::string> unit) {
    const auto information = IngredientParser::sharedParser().extractIngredientInformation(line);
    ASSERT_TRUE(information.quantity) << line;
    EXPECT_EQ(*information.quantity, readDecimal(amount).value()) << line;
    EXPECT_EQ(information.unit, unit) << line;
}

}  // namespace miravel::testing
