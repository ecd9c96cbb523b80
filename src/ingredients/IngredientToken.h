#pragma once

#include <cstdint>
#include <string>

namespace miravel {

// The kinds of token an ingredient line is cut into.
enum IngredientTokenType : std::int32_t {
    kTokenNone = 0,  // empty text, runs of other characters, the trailing empty token
    kTokenPeriod = 1,
    kTokenSlash = 2,
    kTokenPunctuation = 3,
    kTokenUnit = 4,
    kTokenPreparation = 5,
    kTokenAdjective = 6,
    kTokenPreposition = 7,
    kTokenConjunction = 8,
    kTokenRange = 9,
    kTokenNumeric = 10,  // a number word
    kTokenWord = 11,     // a candidate name word
    kTokenColor = 12,
    kTokenNumber = 13,  // digits, or one vulgar-fraction character
    kTokenDash = 14,
    kTokenSize = 15,
};

struct IngredientToken {
    std::int32_t type = kTokenNone;
    std::string value;  // lower case

    // "IngredientToken(13,1)"
    std::string description() const {
        return "IngredientToken(" + std::to_string(type) + "," + value + ")";
    }
    friend bool operator==(const IngredientToken&, const IngredientToken&) = default;
};

}  // namespace miravel
