#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "import/RecipeImporter.h"

namespace miravel {

// The base of the importers of text files written by other programs, whose encoding nobody
// wrote down: it reads the file as UTF-8 whatever its bytes (see decodeText), notes in the
// report how it read them, and hands out lines without carriage returns or control
// characters.
class TextFileImporter : public RecipeImporter {
public:
    using RecipeImporter::RecipeImporter;

protected:
    // The whole file as UTF-8 text, or the error that names the file.
    [[nodiscard]] Result<std::string> readText(const std::filesystem::path& path);
    // The line without carriage returns and without the control characters of C0 other than
    // the tab, which old files carry as stray bytes (0x14, 0x1A). `buffer` holds the line
    // when anything had to be removed.
    std::string_view cleanedLine(std::string_view line, std::string& buffer);
    // Notes the control characters removed, if any; every text importer ends with it.
    void noteCleaning();

private:
    std::size_t m_controlsRemoved = 0;
};

}  // namespace miravel
