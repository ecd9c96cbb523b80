#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ingredients/RCRationalNumber.h"

namespace miravel {

// Rewrites a recipe's ingredient and servings texts for another size ("half", "one and a
// third") without touching anything but the leading amounts, so the cook's own wording, units
// and notes survive. All texts are UTF-8. Stateless and safe to call from any thread.
class RecipeScaler {
public:
    RecipeScaler() = delete;

    // Every line's leading amount (and the upper end of a range) multiplied by `factor` and
    // printed as a mixed number; lines trimmed of spaces and tabs and joined with "\n".
    // Absent text or factor, or a factor of one, gives the text back byte for byte.
    [[nodiscard]] static std::optional<std::string> scaleIngredients(
        const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor);

    // The leading whole number (and range end) scaled, followed by " (Scaled)" translated.
    [[nodiscard]] static std::optional<std::string> scaleServings(
        const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor);

    // One amount ("1 1/2", "0.75", "½", "1-1/2") times `factor` as a mixed number; the text
    // unchanged when it does not start with an amount or the product cannot be represented.
    [[nodiscard]] static std::string scaleQuantity(std::string_view amount,
                                                   const RCRationalNumber& factor);
};

// The lines of `text`: every line-ending character (LF, VT, FF, CR, NEL, U+2028, U+2029)
// ends one line, so CR LF leaves an empty line between. The lines are not trimmed.
std::vector<std::string> splitAtLineBreaks(std::string_view text);

}  // namespace miravel
