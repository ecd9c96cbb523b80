#include "ingredients/ReferenceStoreSource.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "lib/TextPieces.h"

namespace miravel {

namespace {

constexpr const char* kSourceErrorDomain = "miravel.reference";
enum class SourceErrorCode { BadLine = 1, Unreadable = 2 };

std::string_view trimmed(std::string_view text) {
    return trimCharacters(text, " \t\r");
}

struct SourceLine {
    std::size_t number;
    std::string section;
    std::string name;
    std::optional<std::string> plural;
};

Result<std::vector<SourceLine>> readSections(std::string_view text) {
    std::vector<SourceLine> lines;
    std::optional<std::string> section;
    std::set<std::string, std::less<>> seen;
    std::size_t number = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto fail = [&](const std::string& what) {
            return makeError(kSourceErrorDomain, SourceErrorCode::BadLine,
                             "line " + std::to_string(number) + ": " + what, std::string(line));
        };
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return fail("a section header needs a closing \"]\"");
            }
            section = std::string(trimmed(line.substr(1, line.size() - 2)));
            continue;
        }
        if (!section) {
            return fail("an entry comes before any [section]");
        }
        std::size_t bar = line.find('|');
        std::string name(trimmed(line.substr(0, bar)));
        std::optional<std::string> plural;
        if (bar != std::string_view::npos) {
            plural = std::string(trimmed(line.substr(bar + 1)));
            if (plural->empty() || plural->find('|') != std::string::npos) {
                return fail("a plural after \"|\" must be one non-empty form");
            }
        }
        if (name.empty()) {
            return fail("the entry has no name");
        }
        if (std::ranges::any_of(name, [](char c) { return c >= 'A' && c <= 'Z'; }) ||
            (plural && std::ranges::any_of(*plural, [](char c) { return c >= 'A' && c <= 'Z'; }))) {
            return fail("names are written in lower case (lines are matched in lower case)");
        }
        if (!seen.insert(name).second) {
            return fail("\"" + name + "\" is listed twice");
        }
        lines.push_back({number, *section, std::move(name), std::move(plural)});
    }
    return lines;
}

}  // namespace

Result<std::vector<IngredientRow>> readIngredientSource(std::string_view text,
                                                        const std::vector<std::string>& aisles) {
    auto lines = readSections(text);
    if (!lines) {
        return std::unexpected(std::move(lines.error()));
    }
    std::vector<IngredientRow> rows;
    rows.reserve(lines->size());
    for (SourceLine& line : *lines) {
        if (std::ranges::find(aisles, line.section) == aisles.end()) {
            return makeError(kSourceErrorDomain, SourceErrorCode::Unreadable,
                             "line " + std::to_string(line.number) + ": \"" + line.section +
                                 "\" is not an aisle");
        }
        rows.push_back({std::move(line.name), std::move(line.plural), std::move(line.section)});
    }
    return rows;
}

Result<std::vector<UnitRow>> readUnitSource(std::string_view text) {
    auto lines = readSections(text);
    if (!lines) {
        return std::unexpected(std::move(lines.error()));
    }
    std::vector<UnitRow> rows;
    rows.reserve(lines->size());
    for (SourceLine& line : *lines) {
        rows.push_back({std::move(line.name), std::move(line.plural), std::move(line.section)});
    }
    return rows;
}

}  // namespace miravel
