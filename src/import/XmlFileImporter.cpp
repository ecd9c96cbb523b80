#include "import/XmlFileImporter.h"

#include <algorithm>

#include "import/MasterCookImporter.h"
#include "lib/TextPieces.h"

namespace miravel {

namespace {

bool sameWithoutCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<std::string> xmlRootName(std::string_view text) {
    std::size_t at = 0;
    while (true) {
        at = text.find('<', at);
        if (at == std::string_view::npos || at + 1 >= text.size()) {
            return std::nullopt;
        }
        const std::string_view rest = text.substr(at);
        if (rest.starts_with("<!--")) {
            const auto end = text.find("-->", at + 4);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            at = end + 3;
            continue;
        }
        if (rest[1] == '?' || rest[1] == '!') {
            ++at;
            continue;
        }
        std::size_t end = 1;
        while (end < rest.size() && !isWhiteSpace(rest[end]) && rest[end] != '>' &&
               rest[end] != '/') {
            ++end;
        }
        if (end == 1) {
            return std::nullopt;
        }
        return std::string(rest.substr(1, end - 1));
    }
}

std::string ingredientLine(std::string_view amount, std::string_view unit, std::string_view item,
                           std::string_view preparation) {
    std::string line;
    for (std::string_view part : {amount, unit, item}) {
        part = trimCharacters(part, kWhiteSpace);
        if (!part.empty()) {
            line += (line.empty() ? "" : " ") + std::string(part);
        }
    }
    preparation = trimCharacters(preparation, kWhiteSpace);
    if (!preparation.empty()) {
        line += (line.empty() ? "" : ", ") + std::string(preparation);
    }
    return line;
}

std::string ingredientLine(std::string_view amount, std::string_view unit, std::string_view item,
                           std::string_view preparation,
                           const std::vector<std::string>& alternatives) {
    std::string described(trimCharacters(preparation, kWhiteSpace));
    for (const std::string& alternative : alternatives) {
        if (!alternative.empty()) {
            described += (described.empty() ? "or " : ", or ") + alternative;
        }
    }
    return ingredientLine(amount, unit, item, described);
}

std::string rangeText(const std::string& low, const std::string& high) {
    return high.empty() || high == low ? low : low + "-" + high;
}

void appendIngredientHeading(std::vector<std::string>& lines, std::string_view heading) {
    std::string text(trimCharacters(heading, kWhiteSpace));
    if (text.empty()) {
        return;
    }
    if (!lines.empty()) {
        lines.emplace_back();
    }
    if (!text.ends_with(':')) {
        text += ":";
    }
    lines.push_back(std::move(text));
}

std::string textOfMarkup(std::string_view markup) {
    std::string decoded;
    decoded.reserve(markup.size());
    for (std::size_t at = 0; at < markup.size(); ++at) {
        bool replaced = false;
        if (markup[at] == '&') {
            for (auto [entity, character] :
                 {std::pair{"&lt;", '<'}, std::pair{"&gt;", '>'}, std::pair{"&quot;", '"'},
                  std::pair{"&#39;", '\''}, std::pair{"&amp;", '&'}}) {
                if (markup.substr(at).starts_with(entity)) {
                    decoded.push_back(character);
                    at += std::string_view(entity).size() - 1;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            decoded.push_back(markup[at]);
        }
    }
    std::string text;
    text.reserve(decoded.size());
    const auto isTagStart = [&](std::size_t at) {
        const auto next = at + 1 < decoded.size() ? static_cast<unsigned char>(decoded[at + 1]) : 0;
        return next == '/' || std::isalpha(next) != 0;
    };
    for (std::size_t at = 0; at < decoded.size();) {
        auto open = decoded.find('<', at);
        // "< 100 degrees" is text, not a tag.
        while (open != std::string::npos && !isTagStart(open)) {
            open = decoded.find('<', open + 1);
        }
        const auto close = open == std::string::npos ? open : decoded.find('>', open);
        if (close == std::string::npos) {
            text.append(decoded, at);
            break;
        }
        text.append(decoded, at, open - at);
        at = close + 1;
    }
    return text;
}

std::string trimmedText(const APElement* element) {
    return std::string(trimCharacters(valueOf(element).value_or(""), kWhiteSpace));
}

std::optional<std::string> childText(const APElement* element, std::string_view name) {
    std::string text = trimmedText(firstChildElementNamed(element, name));
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

Result<APDocument> XmlFileImporter::readDocument(const std::filesystem::path& path,
                                                 std::initializer_list<std::string_view> roots) {
    auto text = readText(getImportFilePath(path));
    if (!text) {
        return std::unexpected(text.error());
    }
    reportBytes(text->size(), text->size());
    const auto rootName = xmlRootName(*text);
    const bool known = rootName && std::any_of(roots.begin(), roots.end(), [&](auto root) {
                           return sameWithoutCase(*rootName, root);
                       });
    if (!known) {
        return std::unexpected(
            importError("File not recognized.", rootName ? "the root element is <" + *rootName + ">"
                                                         : "the file holds no XML"));
    }
    // Exports in circulation carry bare ampersands, which stop an XML parser at the first.
    APDocument document =
        APDocument::documentWithXMLString(MasterCookImporter::escapedAmpersands(*text));
    if (!document.error().empty()) {
        passedOver(document.errorLine(), "",
                   "not well-formed XML (" + document.error() + "): the rest is not read");
    }
    if (document.root() == nullptr) {
        return std::unexpected(importError("Unable to parse this file.", document.error()));
    }
    return document;
}

ImportOutcome XmlFileImporter::importRecipes(const std::vector<const APElement*>& elements) {
    for (const APElement* element : elements) {
        if (cancelled()) {
            break;
        }
        if (auto imported = importRecipe(*element); !imported) {
            (void)saveNow();
            return outcome(imported.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

}  // namespace miravel
