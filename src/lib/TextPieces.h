#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {

// `text` without the given characters at either end.
inline std::string_view trimCharacters(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// ASCII's white space: blank, tab, line breaks, form feed and vertical tab.
inline constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";
inline bool isWhiteSpace(char ch) {
    return kWhiteSpace.find(ch) != std::string_view::npos;
}

// The white space a typed name may carry at its ends.
inline constexpr std::string_view kNameSpace = kWhiteSpace;

// A name as typed for a recipe, a meal or a category, without white space at its ends; nothing
// when that leaves nothing, because a blank name is a row nobody can see or pick.
inline std::optional<std::string> trimmedName(std::string_view text) {
    const std::string_view name = trimCharacters(text, kNameSpace);
    if (name.empty()) {
        return std::nullopt;
    }
    return std::string(name);
}

// One field of a line of tab-separated output: a tab or line break inside a name would split
// the field or the row for whoever reads the output, so they are written as \t, \n and \r,
// and a backslash as \\ so the escapes can be told from the text.
inline std::string escapedField(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped.push_back(ch);
        }
    }
    return escaped;
}

// `text` with every run of blanks (spaces only, not tabs) made one blank.
inline std::string collapsedBlanks(std::string_view text) {
    std::string collapsed;
    collapsed.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ' || i == 0 || text[i - 1] != ' ') {
            collapsed.push_back(text[i]);
        }
    }
    return collapsed;
}

inline std::string joined(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += pieces[i];
    }
    return text;
}

}  // namespace miravel
