#pragma once

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
