#pragma once

#include <string>
#include <string_view>

#include "import/TextFileImporter.h"

namespace miravel {

class APElement;

// Reads MasterCook's XML files (".mx2"): an "mx2" root holding one "RcpE" element per recipe,
// with its servings, source, notes, nutrition, preparation time, ingredients ("IngR" with
// quantity, unit, name and preparation), directions ("DirS" of "DirT") and categories ("CatS"
// of "CatT"). A file may hold several such documents one after the other, each with its XML
// declaration, and the files in circulation are not always well-formed XML: bare ampersands,
// declarations with their attributes out of order, bytes of another encoding than the one
// declared. All of that is read; a document that breaks off keeps the recipes before the
// break.
class MasterCookImporter : public TextFileImporter {
public:
    using TextFileImporter::TextFileImporter;

    ImportOutcome parseFile(const std::filesystem::path& path) override;

    // "0:30" as "30 min", "1:05" as "1 hr 05 min"; "" for anything else.
    static std::string parsePrepTime(std::string_view text);

    // The text made fit for an XML parser: every "&" that begins no entity or character
    // reference becomes "&amp;".
    static std::string escapedAmpersands(std::string_view text);

private:
    [[nodiscard]] Result<void> importRecipe(const APElement& recipe, std::size_t firstLine);
};

}  // namespace miravel
