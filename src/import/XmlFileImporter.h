#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/TextFileImporter.h"
#include "lib/APDocument.h"

namespace miravel {

// The base of the importers of XML files of other programs: reads the file as text whatever
// its encoding, and keeps the document only when its root is one the importer reads.
class XmlFileImporter : public TextFileImporter {
public:
    using TextFileImporter::TextFileImporter;

protected:
    // The document, or "File not recognized." when its root element is none of `roots`
    // (compared without regard to case). A parse error past the root is reported and what
    // was built before it is kept.
    [[nodiscard]] Result<APDocument> readDocument(const std::filesystem::path& path,
                                                  std::initializer_list<std::string_view> roots);
    // Imports each element as one recipe, in the document's order, until the import is
    // cancelled, and saves. A recipe that fails ends the import with its error, after the
    // recipes before it are saved.
    ImportOutcome importRecipes(const std::vector<const APElement*>& elements);
    // One recipe element of the document.
    [[nodiscard]] virtual Result<void> importRecipe(const APElement& element) = 0;
};

// The name of the first element of an XML text, past its declaration, comments and document
// type; nothing when the text holds no element.
std::optional<std::string> xmlRootName(std::string_view text);

// An ingredient line from the parts of a structured ingredient, "1 1/2 cups flour, sifted":
// the order and the comma before the preparation are those the ingredient parser reads back
// into the same amount, unit and item. Blank parts are left out.
std::string ingredientLine(std::string_view amount, std::string_view unit, std::string_view item,
                           std::string_view preparation);
// The same with the ingredient's alternatives ("1 cup milk, warm, or 1 cup cream"): they
// follow the preparation, so that the line still reads as the first ingredient. Empty
// alternatives are left out.
std::string ingredientLine(std::string_view amount, std::string_view unit, std::string_view item,
                           std::string_view preparation,
                           const std::vector<std::string>& alternatives);
// "2" for a single amount, "2-3" for a range; a range whose ends are the same is one amount.
std::string rangeText(const std::string& low, const std::string& high);
// Appends a group's heading ("Filling:") to ingredient lines, after an empty line unless it
// is the first.
void appendIngredientHeading(std::vector<std::string>& lines, std::string_view heading);
// The text of markup written into a field: the entities "&lt;", "&gt;", "&quot;", "&#39;" and
// "&amp;" decoded, and then every complete tag removed.
std::string textOfMarkup(std::string_view markup);

// The value of the element without white space at either end; "" for an absent element.
std::string trimmedText(const APElement* element);
// The trimmed value of the first child of that name, when it is not empty.
std::optional<std::string> childText(const APElement* element, std::string_view name);

}  // namespace miravel
