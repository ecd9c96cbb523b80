#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "ingredients/RCRationalNumber.h"

namespace miravel {

// Why an amount was left as the cook wrote it. An amount that cannot be held exactly is
// never rounded or clipped into one that can: the line would then say a wrong number.
enum class AmountProblem {
    TooLarge,       // beyond 32 bits, before or after scaling
    TooPrecise,     // more decimal places than a fraction of 32-bit terms holds
    DividesByZero,  // "1/0"
    NotANumber,     // "1.5.5", "1e3", "1,5": digits in a shape that is no amount
};

// "the amount is too large", … — the words after "kept unscaled: ".
std::string_view describeAmountProblem(AmountProblem problem);

// How an amount was written, so that what is printed back reads the same way.
enum class AmountNotation {
    Whole,     // "2": says nothing about how parts would be written
    Fraction,  // "1 1/2", "3/4", "½", "half"
    Decimal,   // "1.5", ".25"
};

// The notation of a sum: a fraction on either side keeps fractions, otherwise a decimal on
// either side gives decimals.
AmountNotation combinedNotation(AmountNotation a, AmountNotation b);

// Digits of any script, each counted by its value ("12", "٣").
std::expected<std::int32_t, AmountProblem> readWholeNumber(std::string_view digits);

// A decimal read exactly from its digits ("1.25" is 5/4, ".5" 1/2, "2." 2, "1,000.5" with
// thousands separators): going through a double would turn 0.1 into 0.1000000000000000055.
std::expected<RCRationalNumber, AmountProblem> readDecimal(std::string_view text);

// The one rule by which every amount is printed: scaled ingredient lines, merged grocery
// rows and the ingredient command.
std::string printAmount(const RCRationalNumber& amount, AmountNotation notation);

}  // namespace miravel
