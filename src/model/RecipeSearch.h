#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/StringTable.h"
#include "store/Predicate.h"

namespace miravel {

// The search menu's items: which field the search text applies to. English keys; the menu
// shows their translations.
inline constexpr const char* kSearchByName = "Name";
inline constexpr const char* kSearchByIngredient = "Ingredient";
inline constexpr const char* kSearchBySource = "Source";

// Pieces of an ingredient search: split at every ",", trimmed, empty pieces dropped.
inline std::vector<std::string> ingredientSearchPieces(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        std::string_view piece = text.substr(start, end - start);
        const auto first = piece.find_first_not_of(kSpace);
        if (first != std::string_view::npos) {
            piece = piece.substr(first, piece.find_last_not_of(kSpace) - first + 1);
            pieces.emplace_back(piece);
        }
        start = end + 1;
    }
    return pieces;
}

// The recipes a search field's text selects in a search context (one of the three above;
// anything else searches by name). Nothing when the text selects every recipe.
inline std::optional<Predicate> recipeSearchPredicate(std::string_view context,
                                                      const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (context == kSearchByIngredient) {
        std::vector<Predicate> each;
        for (const auto& piece : ingredientSearchPieces(text)) {
            each.push_back(
                Predicate::fromTrustedFormat("ingredients contains[cd] %@", {Value(piece)}));
        }
        if (each.empty()) {
            return std::nullopt;
        }
        return Predicate::andPredicate(each);
    }
    if (context == kSearchBySource) {
        return Predicate::fromTrustedFormat("source contains[cd] %@", {Value(text)});
    }
    return Predicate::fromTrustedFormat("name contains[cd] %@", {Value(text)});
}

// "Search By %@" with the context's name, both in the user's language.
inline std::string recipeSearchPlaceholder(std::string_view context) {
    std::string placeholder = tr("Search By %@");
    if (auto at = placeholder.find("%@"); at != std::string::npos) {
        placeholder.replace(at, 2, tr(context));
    }
    return placeholder;
}

}  // namespace miravel
