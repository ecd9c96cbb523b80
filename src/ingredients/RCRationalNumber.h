#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace miravel {

// An exact fraction: every ingredient quantity is held in one while it is parsed, scaled,
// converted between units and summed on the grocery list. Cooks write 1 1/2 and 3/4, and
// floating point would turn a third of a cup into 0.333... and print it back that way.
//
// Invariants of every value: the denominator is positive, the fraction is in lowest terms
// and zero is 0/1. The sign lives on the numerator.
//
// Operations that can fail return std::nullopt, which callers treat as "no quantity":
//   - a zero denominator (directly, through reciprocal() of zero or divide() by zero) logs
//     "denominator is zero";
//   - a result whose reduced numerator or denominator does not fit in 32 bits. Intermediates
//     are computed in 64 bits and reduced before the range check, so a result is refused
//     only when its exact value has no 32-bit representation; nothing wraps and nothing is
//     rounded. Nothing is logged: an amount too large for a recipe is the caller's to report
//     in the caller's terms ("line 3 kept unscaled"), once.
//
// Negative mixed numbers carry one minus sign, in front: -3/2 prints "-1 1/2", -1/2 prints
// "-1/2" and -4/2 prints "-2". Quantities from recipes are never negative; differences
// computed by callers may be, and the single sign reads the way a cook would write it.
class RCRationalNumber {
public:
    // 1/1. Logs "initialized to unity": a default-constructed quantity usually means a caller
    // forgot to supply the real one.
    RCRationalNumber();
    // n/1; every 32-bit integer is representable, so this cannot fail.
    explicit RCRationalNumber(std::int32_t integer);

    // n/d reduced, the sign moved onto the numerator (6/-8 is -3/4).
    [[nodiscard]] static std::optional<RCRationalNumber> valueWithNumerator(
        std::int32_t numerator, std::int32_t denominator);
    // (w*d + n)/d; 1, 1, 2 is 3/2.
    [[nodiscard]] static std::optional<RCRationalNumber> valueWithWholeNumber(
        std::int32_t whole, std::int32_t numerator, std::int32_t denominator);
    [[nodiscard]] static RCRationalNumber valueWithInteger(std::int32_t integer);
    // x * 10^p truncated toward zero over 10^p, reduced; p above 9 counts as 9, and a
    // negative p gives a zero denominator. The product is first snapped to a whole number
    // when it lies within rounding noise of one, so 0.57 with precision 4 is 57/100 and not
    // 5699/10000. NaN, infinities and values beyond 32 bits give std::nullopt.
    [[nodiscard]] static std::optional<RCRationalNumber> valueWithDouble(double value,
                                                                         int precision);
    [[nodiscard]] static RCRationalNumber valueWithRational(const RCRationalNumber& other);

    // Arithmetic leaves both operands unchanged and returns a new reduced value.
    [[nodiscard]] std::optional<RCRationalNumber> multiply(const RCRationalNumber& other) const;
    [[nodiscard]] std::optional<RCRationalNumber> divide(const RCRationalNumber& other) const;
    [[nodiscard]] std::optional<RCRationalNumber> add(const RCRationalNumber& other) const;
    [[nodiscard]] std::optional<RCRationalNumber> sub(const RCRationalNumber& other) const;
    // Fails only for a numerator of -2^31, whose negation has no 32-bit form.
    [[nodiscard]] std::optional<RCRationalNumber> neg() const;
    [[nodiscard]] std::optional<RCRationalNumber> abs() const;
    [[nodiscard]] std::optional<RCRationalNumber> reciprocal() const;

    [[nodiscard]] double number() const;
    // Truncated toward zero: 7/2 is 3, -7/2 is -3.
    [[nodiscard]] std::int32_t integer() const;
    // -1 for negative values, +1 otherwise (zero included).
    [[nodiscard]] int sign() const;
    [[nodiscard]] bool isNegative() const;
    [[nodiscard]] bool isEqualToOne() const;
    // -1 when this value is smaller, 0 when equal, +1 when larger. Exact: two values that
    // differ by less than a double can resolve still compare as different.
    [[nodiscard]] int compare(const RCRationalNumber& other) const;

    [[nodiscard]] std::int32_t numerator() const { return m_numerator; }
    [[nodiscard]] std::int32_t denominator() const { return m_denominator; }
    [[nodiscard]] bool autoSimplify() const { return m_autoSimplify; }
    [[nodiscard]] bool withSign() const { return m_withSign; }

    // Only affects description(): whether a non-negative value gets a leading "+".
    void setWithSign(bool withSign) { m_withSign = withSign; }

    // "-3/4", or "+3/4" / "3/4" for a non-negative value depending on withSign().
    [[nodiscard]] std::string description() const;
    // The form shown to the user: "3/4", "3", "1 3/4", "0/1", "-1 1/2".
    [[nodiscard]] std::string mixedNumber() const;

    // Equal values; the printing flags are not part of the value.
    friend bool operator==(const RCRationalNumber& a, const RCRationalNumber& b) {
        return a.m_numerator == b.m_numerator && a.m_denominator == b.m_denominator;
    }

private:
    RCRationalNumber(std::int32_t numerator, std::int32_t denominator, bool);

    // The one door through which every computed value passes: reduces a 64-bit fraction and
    // refuses zero denominators and results that do not fit.
    static std::optional<RCRationalNumber> fromWide(std::int64_t numerator,
                                                    std::int64_t denominator);

    std::int32_t m_numerator = 1;
    std::int32_t m_denominator = 1;
    bool m_autoSimplify = true;
    bool m_withSign = true;
};

}  // namespace miravel
