#pragma once

#include <optional>
#include <string_view>

#include "ingredients/RCRationalNumber.h"

namespace miravel {

// The value of one of the six vulgar-fraction characters cooks type ("½" "¼" "¾" "⅓" "⅔"
// "⅛"), given as its UTF-8 text; any other text has none.
inline std::optional<RCRationalNumber> vulgarFractionValue(std::string_view character) {
    struct Entry {
        std::string_view text;
        int numerator;
        int denominator;
    };
    static constexpr Entry kEntries[] = {{"\u00BD", 1, 2}, {"\u00BC", 1, 4}, {"\u00BE", 3, 4},
                                         {"\u2153", 1, 3}, {"\u2154", 2, 3}, {"\u215B", 1, 8}};
    for (const Entry& entry : kEntries) {
        if (character == entry.text) {
            return RCRationalNumber::valueWithNumerator(entry.numerator, entry.denominator);
        }
    }
    return std::nullopt;
}

}  // namespace miravel
