#include "ingredients/AmountText.h"

#include <unicode/uchar.h>

#include "lib/Utf8.h"

namespace miravel {

namespace {

using Wide = __int128;

constexpr std::int64_t kMax32 = INT32_MAX;
// Fraction digits beyond this many could not be held even before reduction without risking
// the 128-bit intermediate; no denominator of 32 bits needs more.
constexpr int kMostFractionDigits = 18;
// A decimal printed back with more places than this reads worse than its fraction.
constexpr int kMostPrintedPlaces = 3;

Wide gcd(Wide a, Wide b) {
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

int digitValue(char32_t c) {
    return c < 0x80 ? (c >= '0' && c <= '9' ? static_cast<int>(c - '0') : -1)
                    : u_charDigitValue(static_cast<UChar32>(c));
}

}  // namespace

std::string_view describeAmountProblem(AmountProblem problem) {
    switch (problem) {
        case AmountProblem::TooLarge:
            return "the amount is too large";
        case AmountProblem::TooPrecise:
            return "the amount has too many decimal places";
        case AmountProblem::DividesByZero:
            return "the amount divides by zero";
        case AmountProblem::NotANumber:
            return "the amount is not a number";
    }
    return "the amount is not a number";
}

AmountNotation combinedNotation(AmountNotation a, AmountNotation b) {
    if (a == AmountNotation::Fraction || b == AmountNotation::Fraction) {
        return AmountNotation::Fraction;
    }
    if (a == AmountNotation::Decimal || b == AmountNotation::Decimal) {
        return AmountNotation::Decimal;
    }
    return AmountNotation::Whole;
}

std::expected<std::int32_t, AmountProblem> readWholeNumber(std::string_view digits) {
    std::int64_t value = 0;
    std::size_t position = 0;
    while (position < digits.size()) {
        const int digit = digitValue(nextUtf8(digits, position));
        if (digit < 0) {
            return std::unexpected(AmountProblem::NotANumber);
        }
        value = value * 10 + digit;
        if (value > kMax32) {
            return std::unexpected(AmountProblem::TooLarge);
        }
    }
    if (digits.empty()) {
        return std::unexpected(AmountProblem::NotANumber);
    }
    return static_cast<std::int32_t>(value);
}

std::expected<RCRationalNumber, AmountProblem> readDecimal(std::string_view text) {
    std::int64_t whole = 0;
    Wide fraction = 0;
    Wide scale = 1;
    int fractionDigits = 0;
    bool point = false;
    bool anyDigit = false;
    std::size_t position = 0;
    while (position < text.size()) {
        const char32_t c = nextUtf8(text, position);
        if (c == '.') {
            if (point) {
                return std::unexpected(AmountProblem::NotANumber);
            }
            point = true;
            continue;
        }
        if (c == ',' && !point) {
            continue;  // a thousands separator; the caller has checked where they stand
        }
        const int digit = digitValue(c);
        if (digit < 0) {
            return std::unexpected(AmountProblem::NotANumber);
        }
        anyDigit = true;
        if (!point) {
            whole = whole * 10 + digit;
            if (whole > kMax32) {
                return std::unexpected(AmountProblem::TooLarge);
            }
        } else if (++fractionDigits > kMostFractionDigits) {
            return std::unexpected(AmountProblem::TooPrecise);
        } else {
            fraction = fraction * 10 + digit;
            scale *= 10;
        }
    }
    if (!anyDigit) {
        return std::unexpected(AmountProblem::NotANumber);
    }
    Wide numerator = whole * scale + fraction;
    const Wide divisor = numerator == 0 ? scale : gcd(numerator, scale);
    numerator /= divisor;
    const Wide denominator = scale / divisor;
    if (denominator > kMax32) {
        return std::unexpected(AmountProblem::TooPrecise);
    }
    if (numerator > kMax32) {
        return std::unexpected(AmountProblem::TooLarge);
    }
    return *RCRationalNumber::valueWithNumerator(static_cast<std::int32_t>(numerator),
                                                 static_cast<std::int32_t>(denominator));
}

// Whole amounts print as whole numbers. An amount written as a decimal prints as a decimal
// when it has an exact one of at most three places ("1.5 lb" doubled is "3 lb", halved "0.75
// lb"); every other amount prints as an exact mixed number ("1 1/2", "3/8", "1 1/16", "1/6").
// Nothing is rounded: a merged grocery row is read again when the next line joins it, so a
// rounded "1.06" would be added up as 1.06 and the error would grow with every line.
std::string printAmount(const RCRationalNumber& amount, AmountNotation notation) {
    const std::int64_t denominator = amount.denominator();
    if (denominator == 1) {
        return std::to_string(amount.numerator());
    }
    if (notation == AmountNotation::Decimal) {
        std::int64_t scale = 1;
        int places = 0;
        while (places < kMostPrintedPlaces && scale % denominator != 0) {
            scale *= 10;
            ++places;
        }
        if (scale % denominator == 0) {
            const std::int64_t numerator = amount.numerator();
            const std::int64_t magnitude = (numerator < 0 ? -numerator : numerator);
            const std::int64_t scaled = magnitude * (scale / denominator);
            std::string digits = std::to_string(scaled % scale + scale).substr(1);
            return (numerator < 0 ? "-" : "") + std::to_string(scaled / scale) + "." + digits;
        }
    }
    return amount.mixedNumber();
}

}  // namespace miravel
