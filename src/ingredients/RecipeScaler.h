#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ingredients/AmountText.h"
#include "ingredients/RCRationalNumber.h"

namespace miravel {

// Rewrites a recipe's ingredient and servings texts for another size ("half", "one and a
// third") without touching anything but the leading amounts, so the cook's own wording, units
// and notes survive. All texts are UTF-8. Stateless and safe to call from any thread.
class RecipeScaler {
public:
    RecipeScaler() = delete;

    // A line whose amount could not be scaled exactly and was kept as written.
    struct KeptLine {
        std::size_t line;  // counted from 1, as the lines of the text
        AmountProblem problem;
    };
    struct ScaledIngredients {
        std::string text;
        std::vector<KeptLine> kept;
    };
    // One amount and how it was written.
    struct Amount {
        RCRationalNumber value;
        AmountNotation notation;
    };

    // scaleIngredients(), saying which lines were kept unscaled and why. Where the reference
    // data knows the unit or ingredient word right after the amount, it is put in the
    // plural when the scaled amount is above one and in the singular otherwise ("1 egg" at
    // 3 is "3 eggs").
    [[nodiscard]] static ScaledIngredients scaleIngredientLines(std::string_view text,
                                                                const RCRationalNumber& factor);

    // Every line's leading amount (and the upper end of a range) multiplied by `factor` and
    // printed by printAmount() in the notation it was written in; lines trimmed of spaces and
    // tabs and joined with "\n". A line whose amount cannot be scaled exactly is kept as
    // written. Absent text or factor, or a factor of one, gives the text back byte for byte.
    [[nodiscard]] static std::optional<std::string> scaleIngredients(
        const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor);

    // The leading whole number (and range end) scaled, followed by " (Scaled)" translated.
    [[nodiscard]] static std::optional<std::string> scaleServings(
        const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor);

    // One amount ("1 1/2", "0.75", "½", "1-1/2") times `factor`; the text unchanged when it
    // does not start with an amount or the product cannot be represented.
    [[nodiscard]] static std::string scaleQuantity(std::string_view amount,
                                                   const RCRationalNumber& factor);

    // The whole of `text` read as one amount, in the forms the lines are read in ("3/2",
    // "1 1/2", "1½", "1.5", "½", "2"); NotANumber for anything else.
    [[nodiscard]] static std::expected<Amount, AmountProblem> readAmount(std::string_view text);
};

// The lines of `text`: every line-ending character (LF, VT, FF, CR, NEL, U+2028, U+2029)
// ends one line, so CR LF leaves an empty line between. The lines are not trimmed.
std::vector<std::string> splitAtLineBreaks(std::string_view text);

}  // namespace miravel
