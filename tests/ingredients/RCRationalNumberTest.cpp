#include "ingredients/RCRationalNumber.h"

#include "lib/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// A fraction expected in lowest terms, or none at all.
struct Expected {
    bool present = false;
    std::int32_t numerator = 0;
    std::int32_t denominator = 1;
};

constexpr Expected is(std::int32_t n, std::int32_t d) {
    return Expected{true, n, d};
}
constexpr Expected kNone{};

void expectValue(const std::optional<RCRationalNumber>& actual, const Expected& expected) {
    ASSERT_EQ(actual.has_value(), expected.present);
    if (expected.present) {
        EXPECT_EQ(actual->numerator(), expected.numerator);
        EXPECT_EQ(actual->denominator(), expected.denominator);
    }
}

RCRationalNumber make(std::int32_t n, std::int32_t d) {
    const auto value = RCRationalNumber::valueWithNumerator(n, d);
    EXPECT_TRUE(value.has_value());
    return value.value_or(RCRationalNumber(0));
}

class LogCapture {
public:
    LogCapture() {
        m_previous = setLogSink([this](std::string_view line) { m_lines.emplace_back(line); });
    }
    ~LogCapture() { setLogSink(m_previous); }
    const std::vector<std::string>& lines() const { return m_lines; }

private:
    LogSink m_previous;
    std::vector<std::string> m_lines;
};

// Keeps the expected "denominator is zero" lines out of the test output, and checks that
// nothing else is logged: an overflow is reported by the caller, in its own terms.
template <typename Case>
class QuietTest : public ::testing::TestWithParam<Case> {
protected:
    void expectRefusalLogged(const std::optional<RCRationalNumber>&) const {
        for (const std::string& line : m_log.lines()) {
            EXPECT_EQ(line, "denominator is zero");
        }
    }

    LogCapture m_log;
};

// --- Construction from numerator and denominator ---------------------------------------

struct FractionCase {
    std::string name;
    std::int32_t numerator;
    std::int32_t denominator;
    Expected expected;
};

class RCRationalNumberConstruction : public QuietTest<FractionCase> {};

TEST_P(RCRationalNumberConstruction, reducesAndKeepsSignOnNumerator) {
    const FractionCase& c = GetParam();
    const auto value = RCRationalNumber::valueWithNumerator(c.numerator, c.denominator);
    expectValue(value, c.expected);
    expectRefusalLogged(value);
    if (value) {
        EXPECT_TRUE(value->autoSimplify());
        EXPECT_TRUE(value->withSign());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberConstruction, ::testing::Values(
    FractionCase{"signMovesToNumerator", 6, -8, is(-3, 4)},
    FractionCase{"bothNegative", -6, -8, is(3, 4)},
    FractionCase{"zeroIsZeroOverOne", 0, 5, is(0, 1)},
    FractionCase{"zeroOverNegative", 0, -5, is(0, 1)},
    FractionCase{"reducesToWhole", 10, 5, is(2, 1)},
    FractionCase{"alreadyLowest", 3, 4, is(3, 4)},
    FractionCase{"zeroDenominator", 1, 0, kNone},
    FractionCase{"zeroOverZero", 0, 0, kNone},
    FractionCase{"largestValues", kMax, kMax, is(1, 1)},
    FractionCase{"smallestNumerator", kMin, 1, is(kMin, 1)},
    FractionCase{"smallestOverItself", kMin, kMin, is(1, 1)},
    // -2^31 as denominator: its magnitude only fits once reduced.
    FractionCase{"smallestDenominatorReduces", 2, kMin, is(-1, 1 << 30)},
    FractionCase{"smallestDenominatorCannotMoveSign", 1, kMin, kNone},
    FractionCase{"negatedSmallestIsTooLarge", kMin, -1, kNone}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(RCRationalNumberLog, zeroDenominatorLogsAndYieldsNothing) {
    LogCapture log;
    EXPECT_FALSE(RCRationalNumber::valueWithNumerator(3, 0).has_value());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"denominator is zero"});
}

TEST(RCRationalNumberLog, defaultIsUnityAndSaysSo) {
    LogCapture log;
    const RCRationalNumber unity;
    EXPECT_EQ(unity.numerator(), 1);
    EXPECT_EQ(unity.denominator(), 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"initialized to unity"});
}

// The caller reports an amount too large in its own words; a log line as well would say it
// twice on a terminal.
TEST(RCRationalNumberLog, overflowYieldsNothingQuietly) {
    LogCapture log;
    EXPECT_FALSE(make(kMax, 1).add(RCRationalNumber(1)).has_value());
    EXPECT_FALSE(make(kMax, 1).multiply(RCRationalNumber(2)).has_value());
    EXPECT_TRUE(log.lines().empty());
}

// --- Other constructors -----------------------------------------------------------------

struct WholeCase {
    std::string name;
    std::int32_t whole;
    std::int32_t numerator;
    std::int32_t denominator;
    Expected expected;
};

class RCRationalNumberWholeNumber : public QuietTest<WholeCase> {};

TEST_P(RCRationalNumberWholeNumber, isWholeTimesDenominatorPlusNumerator) {
    const WholeCase& c = GetParam();
    const auto value = RCRationalNumber::valueWithWholeNumber(c.whole, c.numerator, c.denominator);
    expectValue(value, c.expected);
    expectRefusalLogged(value);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberWholeNumber, ::testing::Values(
    WholeCase{"oneAndAHalf", 1, 1, 2, is(3, 2)},
    WholeCase{"twoAndThreeQuarters", 2, 3, 4, is(11, 4)},
    WholeCase{"reduces", 1, 2, 4, is(3, 2)},
    WholeCase{"nothing", 0, 0, 5, is(0, 1)},
    // The sum is taken literally: -1 and 1/2 is -2/2 + 1/2.
    WholeCase{"negativeWholeAddsFraction", -1, 1, 2, is(-1, 2)},
    WholeCase{"negativeDenominator", 1, 1, -2, is(1, 2)},
    WholeCase{"zeroDenominator", 1, 1, 0, kNone},
    WholeCase{"wholeTimesDenominatorTooLarge", kMax, 1, 2, kNone},
    // The 64-bit intermediate comes back into range.
    WholeCase{"largeIntermediateFits", kMax, -kMax, 2, is(kMax, 2)}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct DoubleCase {
    std::string name;
    double value;
    int precision;
    Expected expected;
};

class RCRationalNumberFromDouble : public QuietTest<DoubleCase> {};

TEST_P(RCRationalNumberFromDouble, truncatesAtPrecision) {
    const DoubleCase& c = GetParam();
    const auto value = RCRationalNumber::valueWithDouble(c.value, c.precision);
    expectValue(value, c.expected);
    expectRefusalLogged(value);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberFromDouble, ::testing::Values(
    DoubleCase{"twoAndAHalf", 2.5, 4, is(5, 2)},
    DoubleCase{"oneAndAQuarter", 1.25, 4, is(5, 4)},
    DoubleCase{"thousandths", 0.333, 4, is(333, 1000)},
    DoubleCase{"truncatesExtraDigits", 0.33339, 4, is(3333, 10000)},
    DoubleCase{"truncatesNotRounds", 0.99999, 2, is(99, 100)},
    DoubleCase{"negativeTruncatesTowardZero", -1.25999, 2, is(-5, 4)},
    // 0.57 * 10^4 is 5699.999999999999 in binary floating point.
    DoubleCase{"binaryNoiseBelowDigit", 0.57, 4, is(57, 100)},
    DoubleCase{"binaryNoiseBelowDigitTwoPlaces", 0.29, 2, is(29, 100)},
    DoubleCase{"binaryNoiseAboveDigit", 0.07, 4, is(7, 100)},
    DoubleCase{"precisionZero", 2.75, 0, is(2, 1)},
    DoubleCase{"precisionCappedAtNine", 1.0 / 3.0, 12, is(333333333, 1000000000)},
    DoubleCase{"negativePrecisionHasNoDenominator", 2.5, -1, kNone},
    DoubleCase{"tooLargeForNumerator", 1e10, 4, kNone},
    DoubleCase{"tooSmallForNumerator", -1e10, 4, kNone},
    DoubleCase{"notANumber", std::nan(""), 4, kNone},
    DoubleCase{"infinity", std::numeric_limits<double>::infinity(), 4, kNone}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(RCRationalNumberCopy, valueWithRationalKeepsValueAndFlags) {
    RCRationalNumber original = make(-3, 4);
    original.setWithSign(false);
    const RCRationalNumber copy = RCRationalNumber::valueWithRational(original);
    EXPECT_EQ(copy, original);
    EXPECT_FALSE(copy.withSign());
    EXPECT_EQ(RCRationalNumber::valueWithInteger(-7), make(-7, 1));
}

// --- Arithmetic -------------------------------------------------------------------------

enum class Op { kAdd, kSub, kMultiply, kDivide };

struct ArithmeticCase {
    std::string name;
    Op op;
    RCRationalNumber left;
    RCRationalNumber right;
    Expected expected;
};

std::optional<RCRationalNumber> apply(Op op, const RCRationalNumber& a, const RCRationalNumber& b) {
    switch (op) {
        case Op::kAdd:
            return a.add(b);
        case Op::kSub:
            return a.sub(b);
        case Op::kMultiply:
            return a.multiply(b);
        case Op::kDivide:
            return a.divide(b);
    }
    return std::nullopt;
}

class RCRationalNumberArithmetic : public QuietTest<ArithmeticCase> {};

TEST_P(RCRationalNumberArithmetic, isExactAndLeavesOperandsAlone) {
    const ArithmeticCase& c = GetParam();
    const RCRationalNumber left = c.left;
    const RCRationalNumber right = c.right;
    const auto value = apply(c.op, left, right);
    expectValue(value, c.expected);
    expectRefusalLogged(value);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(right, c.right);
}

const RCRationalNumber kHalf = RCRationalNumber::valueWithNumerator(1, 2).value();
const RCRationalNumber kZero(0);
const RCRationalNumber kLargest(kMax);
const RCRationalNumber kSmallest(kMin);

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberArithmetic, ::testing::Values(
    ArithmeticCase{"thirdPlusSixth", Op::kAdd, make(1, 3), make(1, 6), is(1, 2)},
    ArithmeticCase{"quarterPlusThreeQuarters", Op::kAdd, make(1, 4), make(3, 4), is(1, 1)},
    ArithmeticCase{"addNegative", Op::kAdd, make(1, 2), make(-3, 4), is(-1, 4)},
    ArithmeticCase{"addToZero", Op::kAdd, make(2, 3), make(-2, 3), is(0, 1)},
    ArithmeticCase{"halfMinusThreeQuarters", Op::kSub, make(1, 2), make(3, 4), is(-1, 4)},
    ArithmeticCase{"halfTimesThree", Op::kMultiply, kHalf, RCRationalNumber(3), is(3, 2)},
    ArithmeticCase{"multiplyBySignedFraction", Op::kMultiply, make(-2, 3), make(-9, 4), is(3, 2)},
    ArithmeticCase{"multiplyByZero", Op::kMultiply, make(7, 8), kZero, is(0, 1)},
    ArithmeticCase{"threeQuartersByThreeEighths", Op::kDivide, make(3, 4), make(3, 8), is(2, 1)},
    ArithmeticCase{"divideByNegative", Op::kDivide, make(1, 2), make(-1, 4), is(-2, 1)},
    ArithmeticCase{"divideByZero", Op::kDivide, kHalf, kZero, kNone},
    // Results that do not fit are refused instead of wrapping.
    ArithmeticCase{"sumTooLarge", Op::kAdd, kLargest, RCRationalNumber(1), kNone},
    ArithmeticCase{"differenceTooSmall", Op::kSub, kSmallest, RCRationalNumber(1), kNone},
    ArithmeticCase{"productTooLarge", Op::kMultiply, kLargest, RCRationalNumber(2), kNone},
    ArithmeticCase{"denominatorTooLarge", Op::kMultiply, make(1, 65536), make(1, 65536), kNone},
    ArithmeticCase{"commonDenominatorTooLarge", Op::kAdd, make(1, kMax), make(1, kMax - 1), kNone},
    ArithmeticCase{"quotientTooLarge", Op::kDivide, kLargest, kHalf, kNone},
    // Intermediates beyond 32 bits whose reduced result fits are exact.
    ArithmeticCase{"productReducesIntoRange", Op::kMultiply, make(kMax, 2), make(2, kMax), is(1, 1)},
    ArithmeticCase{"productOfLargeNumeratorsReduces", Op::kMultiply, make(kMax, 65536), make(65536, 3), is(kMax, 3)},
    ArithmeticCase{"sumOfLargeDenominatorsReduces", Op::kAdd, make(1, 1 << 30), make(1, 1 << 30), is(1, 1 << 29)},
    ArithmeticCase{"sumAtLargestValue", Op::kAdd, make(kMax - 1, 1), RCRationalNumber(1), is(kMax, 1)},
    ArithmeticCase{"subtractSmallest", Op::kSub, RCRationalNumber(-1), kSmallest, is(kMax, 1)},
    ArithmeticCase{"smallestMinusItself", Op::kSub, kSmallest, kSmallest, is(0, 1)},
    ArithmeticCase{"divideBySmallest", Op::kDivide, RCRationalNumber(-2), kSmallest, is(1, 1 << 30)},
    ArithmeticCase{"divideBySmallestOverflows", Op::kDivide, RCRationalNumber(1), kSmallest, kNone}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct UnaryCase {
    std::string name;
    RCRationalNumber value;
    Expected neg;
    Expected abs;
    Expected reciprocal;
};

class RCRationalNumberUnary : public QuietTest<UnaryCase> {};

TEST_P(RCRationalNumberUnary, negAbsReciprocal) {
    const UnaryCase& c = GetParam();
    expectValue(c.value.neg(), c.neg);
    expectValue(c.value.abs(), c.abs);
    expectValue(c.value.reciprocal(), c.reciprocal);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberUnary, ::testing::Values(
    UnaryCase{"positive", make(3, 4), is(-3, 4), is(3, 4), is(4, 3)},
    UnaryCase{"negative", make(-3, 4), is(3, 4), is(3, 4), is(-4, 3)},
    UnaryCase{"whole", RCRationalNumber(5), is(-5, 1), is(5, 1), is(1, 5)},
    UnaryCase{"zeroHasNoReciprocal", kZero, is(0, 1), is(0, 1), kNone},
    UnaryCase{"largest", kLargest, is(-kMax, 1), is(kMax, 1), is(1, kMax)},
    // -2^31 has no positive counterpart in 32 bits.
    UnaryCase{"smallest", kSmallest, kNone, kNone, kNone},
    UnaryCase{"smallestOverThree", make(kMin, 3), kNone, kNone, kNone}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// --- Queries ----------------------------------------------------------------------------

struct QueryCase {
    std::string name;
    RCRationalNumber value;
    std::int32_t integer;
    int sign;
    bool negative;
    bool one;
    double number;
};

class RCRationalNumberQueries : public ::testing::TestWithParam<QueryCase> {};

TEST_P(RCRationalNumberQueries, answer) {
    const QueryCase& c = GetParam();
    EXPECT_EQ(c.value.integer(), c.integer);
    EXPECT_EQ(c.value.sign(), c.sign);
    EXPECT_EQ(c.value.isNegative(), c.negative);
    EXPECT_EQ(c.value.isEqualToOne(), c.one);
    EXPECT_DOUBLE_EQ(c.value.number(), c.number);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberQueries, ::testing::Values(
    QueryCase{"sevenHalves", make(7, 2), 3, 1, false, false, 3.5},
    QueryCase{"negativeTruncatesTowardZero", make(-7, 2), -3, -1, true, false, -3.5},
    QueryCase{"zeroIsPositive", make(0, 5), 0, 1, false, false, 0.0},
    QueryCase{"properFraction", make(3, 4), 0, 1, false, false, 0.75},
    QueryCase{"negativeProperFraction", make(-3, 4), 0, -1, true, false, -0.75},
    QueryCase{"oneReduced", make(4, 4), 1, 1, false, true, 1.0},
    QueryCase{"minusOneIsNotOne", make(-1, 1), -1, -1, true, false, -1.0},
    QueryCase{"smallest", kSmallest, kMin, -1, true, false, -2147483648.0}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct CompareCase {
    std::string name;
    RCRationalNumber left;
    RCRationalNumber right;
    int expected;
};

class RCRationalNumberCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(RCRationalNumberCompare, isAntisymmetric) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(c.left.compare(c.right), c.expected);
    EXPECT_EQ(c.right.compare(c.left), -c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberCompare, ::testing::Values(
    CompareCase{"thirdAndTwoSixths", make(1, 3), make(2, 6), 0},
    CompareCase{"thirdBelowHalf", make(1, 3), kHalf, -1},
    CompareCase{"negativesOrder", make(-1, 2), make(-1, 3), -1},
    CompareCase{"zeroAboveNegative", kZero, make(-1, 1000), 1},
    CompareCase{"extremes", kSmallest, kLargest, -1},
    // These differ by about 2e-19, below what a double resolves near 1.
    CompareCase{"closerThanDoublePrecision", make(kMax - 1, kMax), make(kMax - 2, kMax - 1), 1}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// --- Printing ---------------------------------------------------------------------------

struct PrintCase {
    std::string name;
    RCRationalNumber value;
    std::string description;
    std::string mixedNumber;
};

class RCRationalNumberPrinting : public ::testing::TestWithParam<PrintCase> {};

TEST_P(RCRationalNumberPrinting, descriptionAndMixedNumber) {
    const PrintCase& c = GetParam();
    EXPECT_EQ(c.value.description(), c.description);
    EXPECT_EQ(c.value.mixedNumber(), c.mixedNumber);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RCRationalNumber, RCRationalNumberPrinting, ::testing::Values(
    PrintCase{"newHalfHasPlus", kHalf, "+1/2", "1/2"},
    PrintCase{"properFraction", make(3, 4), "+3/4", "3/4"},
    PrintCase{"negativeFraction", make(-3, 4), "-3/4", "-3/4"},
    PrintCase{"whole", make(3, 1), "+3/1", "3"},
    PrintCase{"reducedWhole", make(10, 5), "+2/1", "2"},
    PrintCase{"mixed", make(7, 4), "+7/4", "1 3/4"},
    PrintCase{"halfTimesThree", kHalf.multiply(RCRationalNumber(3)).value(), "+3/2", "1 1/2"},
    PrintCase{"zero", make(0, 5), "+0/1", "0/1"},
    // Negative mixed numbers carry one sign, in front.
    PrintCase{"negativeMixed", make(-3, 2), "-3/2", "-1 1/2"},
    PrintCase{"negativeWhole", make(-4, 2), "-2/1", "-2"},
    PrintCase{"negativeLargeMixed", make(-23, 8), "-23/8", "-2 7/8"},
    PrintCase{"smallest", kSmallest, "-2147483648/1", "-2147483648"},
    PrintCase{"smallestMixed", make(kMin, 3), "-2147483648/3", "-715827882 2/3"},
    PrintCase{"largestMixed", make(kMax, 2), "+2147483647/2", "1073741823 1/2"}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(RCRationalNumberPrintingFlags, withoutSignDropsOnlyThePlus) {
    RCRationalNumber half = kHalf;
    half.setWithSign(false);
    EXPECT_EQ(half.description(), "1/2");
    RCRationalNumber negative = make(-1, 2);
    negative.setWithSign(false);
    EXPECT_EQ(negative.description(), "-1/2");
    RCRationalNumber zero = kZero;
    zero.setWithSign(false);
    EXPECT_EQ(zero.description(), "0/1");
}

}  // namespace
}  // namespace miravel
