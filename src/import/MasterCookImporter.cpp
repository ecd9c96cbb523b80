#include "import/MasterCookImporter.h"

#include <algorithm>

#include "import/MasterCookMxpImporter.h"
#include "lib/APDocument.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

constexpr std::string_view kDocumentType = "<!DOCTYPE mx2 SYSTEM \"mx2.dtd\">";

bool isAsciiAlphanumeric(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

// Where one document of the file begins: an XML declaration (on one line), white space, and
// the mx2 document type line. The piece starts after the document type line.
struct Boundary {
    std::size_t start;  // of the declaration
    std::size_t end;    // past the document type line
};

std::vector<Boundary> documentBoundaries(std::string_view text) {
    std::vector<Boundary> boundaries;
    for (auto at = text.find("<?xml"); at != std::string_view::npos;
         at = text.find("<?xml", at + 1)) {
        const auto lineEnd = std::min(text.find('\n', at), text.size());
        const auto close = text.substr(0, lineEnd).rfind("?>");
        if (close == std::string_view::npos || close < at + 5) {
            continue;
        }
        std::size_t next = close + 2;
        while (next < text.size() && isWhiteSpace(text[next])) {
            ++next;
        }
        if (text.substr(next).starts_with(kDocumentType)) {
            boundaries.push_back({at, next + kDocumentType.size()});
            at = next;
        }
    }
    return boundaries;
}

// A declaration left at the start of a piece (a document without the document type line) is
// dropped: the text is UTF-8 by now whatever it claims, and its attributes may stand in an
// order a parser refuses. The line breaks stay, so that line numbers still count right.
std::string withoutDeclaration(std::string_view piece) {
    std::size_t at = 0;
    while (at < piece.size() && isWhiteSpace(piece[at])) {
        ++at;
    }
    if (!piece.substr(at).starts_with("<?xml")) {
        return std::string(piece);
    }
    const auto close = piece.find("?>", at);
    if (close == std::string_view::npos) {
        return std::string(piece);
    }
    std::string result(piece.substr(0, at));
    for (std::size_t i = at; i < close + 2; ++i) {
        if (piece[i] == '\n') {
            result.push_back('\n');
        }
    }
    result.append(piece.substr(close + 2));
    return result;
}

std::string trimmedValue(const APElement* element) {
    return std::string(trimCharacters(valueOf(element).value_or(""), kWhiteSpace));
}

std::optional<std::string> presentValue(const APElement* element) {
    if (element == nullptr) {
        return std::nullopt;
    }
    return trimmedValue(element);
}

std::size_t lineOf(std::string_view text, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

}  // namespace

std::string MasterCookImporter::parsePrepTime(std::string_view text) {
    return masterCookElapsedTime(text);
}

std::string MasterCookImporter::escapedAmpersands(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 64);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '&') {
            result.push_back(text[at]);
            continue;
        }
        const std::string_view rest = text.substr(at + 1);
        bool reference = false;
        for (std::string_view name : {"amp;", "apos;", "quot;", "lt;", "gt;"}) {
            reference = reference || rest.starts_with(name);
        }
        // A character reference ("&#233;", "&#xE9;") is kept for the parser to decode.
        if (!reference && rest.starts_with('#')) {
            std::size_t digits = 1;
            const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            digits += hex ? 1 : 0;
            const std::size_t first = digits;
            while (digits < rest.size() && digits < 12 &&
                   (hex ? isAsciiAlphanumeric(rest[digits])
                        : (rest[digits] >= '0' && rest[digits] <= '9'))) {
                ++digits;
            }
            reference = digits > first && digits < rest.size() && rest[digits] == ';';
        }
        result += reference ? "&" : "&amp;";
    }
    return result;
}

Result<void> MasterCookImporter::importRecipe(const APElement& element, std::size_t firstLine) {
    const auto at = [&](const APElement& part) { return firstLine + part.line() - 1; };
    static const std::vector<std::string_view> kRead = {"Serv", "Srce", "Note", "Nutr", "PrpT",
                                                        "IngR", "DirS", "CatS", "RTxt"};
    for (const auto& child : element.children()) {
        if (std::find(kRead.begin(), kRead.end(), child->name()) == kRead.end()) {
            passedOver(at(*child), "<" + child->name() + ">", "element not read");
        }
    }
    auto recipe = insertRecipe();
    recipe->setName(element.valueForAttributeNamed("name"));
    recipe->setServings(valueForAttributeNamed(element.firstChildElementNamed("Serv"), "qty"));
    recipe->setSource(presentValue(element.firstChildElementNamed("Srce")));
    recipe->setNotes(presentValue(element.firstChildElementNamed("Note")));
    recipe->setNutritionalInfo(presentValue(element.firstChildElementNamed("Nutr")));
    recipe->setPrepTime(parsePrepTime(
        valueForAttributeNamed(element.firstChildElementNamed("PrpT"), "elapsed").value_or("")));
    std::string ingredients;
    for (const APElement* ingredient : element.childElements("IngR")) {
        for (std::string_view attribute : {"qty", "unit", "name"}) {
            const std::string part = ingredient->valueForAttributeNamed(attribute).value_or("");
            if (!part.empty()) {
                ingredients += part + " ";
            }
        }
        // The preparation ("chopped") is written the way MasterCook prints it.
        const std::string preparation = trimmedValue(ingredient->firstChildElementNamed("IPrp"));
        if (!preparation.empty()) {
            ingredients += "-- " + preparation + " ";
        }
        ingredients += "\n";
    }
    recipe->setIngredients(ingredients);
    std::vector<std::string> steps;
    for (const APElement* step : childElements(element.firstChildElementNamed("DirS"), "DirT")) {
        if (std::string text = trimmedValue(step); !text.empty()) {
            steps.push_back(std::move(text));
        }
    }
    recipe->setDirections(joined(steps, "\n\n"));
    for (const APElement* category :
         childElements(element.firstChildElementNamed("CatS"), "CatT")) {
        addCategoryToRecipe(valueOf(category).value_or(""), *recipe);
    }
    return recipeFinished(*recipe, {}, at(element));
}

ImportOutcome MasterCookImporter::parseFile(const std::filesystem::path& path) {
    auto read = readText(getImportFilePath(path));
    if (!read) {
        return outcome(read.error());
    }
    const std::string text = escapedAmpersands(*read);
    read->clear();
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // start and end of each document
    std::size_t start = 0;
    for (const Boundary& boundary : documentBoundaries(text)) {
        pieces.emplace_back(start, boundary.start);
        start = boundary.end;
    }
    pieces.emplace_back(start, text.size());
    for (const auto& [pieceStart, pieceEnd] : pieces) {
        const std::string_view piece(text.data() + pieceStart, pieceEnd - pieceStart);
        if (trimCharacters(piece, kWhiteSpace).empty()) {
            continue;
        }
        const std::size_t firstLine = lineOf(text, pieceStart);
        const APDocument document = APDocument::documentWithXMLString(withoutDeclaration(piece));
        if (!document.error().empty()) {
            passedOver(firstLine + document.errorLine() - 1, "",
                       "not well-formed XML (" + document.error() +
                           "): the rest of this document is not read");
        }
        if (document.root() == nullptr) {
            continue;
        }
        for (const auto& child : document.root()->children()) {
            if (cancelled()) {
                break;
            }
            if (child->name() == "RcpE") {
                if (auto imported = importRecipe(*child, firstLine); !imported) {
                    (void)saveNow();
                    return outcome(imported.error());
                }
            } else if (child->name() != "Summ") {
                passedOver(firstLine + child->line() - 1, "<" + child->name() + ">",
                           "element not read");
            }
        }
        reportBytes(pieceEnd, text.size());
        if (cancelled()) {
            break;
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

}  // namespace miravel
