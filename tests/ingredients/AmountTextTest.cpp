#include "ingredients/AmountText.h"

#include <gtest/gtest.h>

#include <string>

namespace miravel {
namespace {

RCRationalNumber fraction(int numerator, int denominator) {
    return *RCRationalNumber::valueWithNumerator(numerator, denominator);
}

TEST(AmountText, readsDecimalsExactlyOrRefusesThem) {
    EXPECT_EQ(readDecimal("0.1"), fraction(1, 10));
    EXPECT_EQ(readDecimal("1.25"), fraction(5, 4));
    EXPECT_EQ(readDecimal(".5"), fraction(1, 2));
    EXPECT_EQ(readDecimal("2."), fraction(2, 1));
    EXPECT_EQ(readDecimal("0.57"), fraction(57, 100));
    EXPECT_EQ(readDecimal("1,000.5"), fraction(2001, 2));
    EXPECT_EQ(readDecimal("\u0661.\u0665"), fraction(3, 2));
    EXPECT_EQ(readDecimal("0.0000000256"), fraction(1, 39062500));
    EXPECT_EQ(readDecimal("2147483647"), fraction(2147483647, 1));

    EXPECT_EQ(readDecimal("2147483648").error(), AmountProblem::TooLarge);
    EXPECT_EQ(readDecimal("3000000000.5").error(), AmountProblem::TooLarge);
    EXPECT_EQ(readDecimal("0.000000000001").error(), AmountProblem::TooPrecise);
    EXPECT_EQ(readDecimal("0.0000000000000000001").error(), AmountProblem::TooPrecise);
    EXPECT_EQ(readDecimal("1.5.5").error(), AmountProblem::NotANumber);
    EXPECT_EQ(readDecimal("...").error(), AmountProblem::NotANumber);
    EXPECT_EQ(readDecimal("").error(), AmountProblem::NotANumber);
    EXPECT_EQ(readDecimal("1e3").error(), AmountProblem::NotANumber);
}

TEST(AmountText, readsWholeNumbersUpTo32Bits) {
    EXPECT_EQ(readWholeNumber("2147483647"), 2147483647);
    EXPECT_EQ(readWholeNumber("\u0663"), 3);
    EXPECT_EQ(readWholeNumber("2147483648").error(), AmountProblem::TooLarge);
    EXPECT_EQ(readWholeNumber("99999999999999999999999").error(), AmountProblem::TooLarge);
    EXPECT_EQ(readWholeNumber("1.5").error(), AmountProblem::NotANumber);
    EXPECT_EQ(readWholeNumber("").error(), AmountProblem::NotANumber);
}

TEST(AmountText, printsByOneRule) {
    struct Case {
        RCRationalNumber amount;
        AmountNotation notation;
        const char* printed;
    };
    const Case cases[] = {
        {fraction(3, 1), AmountNotation::Decimal, "3"},
        {fraction(0, 1), AmountNotation::Fraction, "0"},
        {fraction(3, 4), AmountNotation::Decimal, "0.75"},
        {fraction(9, 8), AmountNotation::Decimal, "1.125"},
        {fraction(-3, 2), AmountNotation::Decimal, "-1.5"},
        {fraction(1, 20), AmountNotation::Decimal, "0.05"},
        // No short exact decimal: the fraction, never a rounded number.
        {fraction(1, 6), AmountNotation::Decimal, "1/6"},
        {fraction(27, 32), AmountNotation::Decimal, "27/32"},
        {fraction(3, 4), AmountNotation::Fraction, "3/4"},
        {fraction(3, 2), AmountNotation::Whole, "1 1/2"},
        {fraction(17, 16), AmountNotation::Fraction, "1 1/16"},
        {fraction(7, 10), AmountNotation::Fraction, "7/10"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(printAmount(c.amount, c.notation), c.printed) << c.amount.description();
    }
}

TEST(AmountText, aFractionOnEitherSideKeepsFractions) {
    using N = AmountNotation;
    EXPECT_EQ(combinedNotation(N::Decimal, N::Fraction), N::Fraction);
    EXPECT_EQ(combinedNotation(N::Whole, N::Decimal), N::Decimal);
    EXPECT_EQ(combinedNotation(N::Whole, N::Whole), N::Whole);
}

}  // namespace
}  // namespace miravel
