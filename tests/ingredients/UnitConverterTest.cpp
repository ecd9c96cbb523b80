#include "ingredients/UnitConverter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lib/ResourceFolder.h"

namespace miravel {
namespace {

RCRationalNumber fraction(std::int32_t numerator, std::int32_t denominator = 1) {
    return *RCRationalNumber::valueWithNumerator(numerator, denominator);
}

// Tables small enough to reason about by hand; the shipped file is checked further down.
constexpr const char* kKitchenTables = R"(
thresholds:
  - {unit: teaspoon, convert_to: tablespoon, quantity: 3}
  - {unit: tablespoon, convert_to: cup, quantity: 4}
  - {unit: ounce, convert_to: pound, quantity: 16}
  - {unit: pinch}
  - {unit: pinch, convert_to: teaspoon, quantity: 0}
  - {unit: dash, convert_to: smidgen, quantity: 1}
convertible:
  - [teaspoon, tablespoon, cup]
  - [ounce, pound]
conversions:
  - unit: teaspoon
    ratios:
      - {to_unit: tablespoon, value: 3, operation: /}
      - {to_unit: cup, value: 48, operation: /}
  - unit: tablespoon
    ratios:
      - {to_unit: teaspoon, value: 3, operation: "*"}
      - {to_unit: cup, value: 16, operation: /}
  - unit: cup
    ratios:
      - {to_unit: tablespoon, value: 16, operation: "*"}
      - {to_unit: teaspoon, value: 48, operation: "*"}
  - unit: ounce
    ratios:
      - {to_unit: pound, value: 16, operation: /}
  - unit: pound
    ratios:
      - {to_unit: ounce, value: 16, operation: "*"}
  - unit: gill
    ratios:
      - {to_unit: cup, value: 4, operation: "%"}
      - {to_unit: cup, value: 2, operation: "/"}
      - {to_unit: pint, value: 2.5, operation: "/"}
      - {to_unit: quart, value: 0, operation: "/"}
      - {to_unit: quart, value: -8, operation: "/"}
      - {to_unit: quart, value: eight, operation: "/"}
  - unit: gill
    ratios:
      - {to_unit: quart, value: 8, operation: "/"}
  - unit: drop
    ratios:
      - {to_unit: barrel, value: 2000000000, operation: "/"}
      - {to_unit: mist, value: 2000000000, operation: "*"}
      - {to_unit: mist, value: 7, operation: "*"}
)";

const UnitConverter& kitchen() {
    static const UnitConverter converter = [] {
        auto loaded = UnitConverter::fromYAML(kKitchenTables);
        EXPECT_TRUE(loaded.has_value()) << loaded.error().description;
        return loaded.value_or(UnitConverter());
    }();
    return converter;
}

struct ConvertibleCase {
    std::string name;
    std::string unit;
    std::string toUnit;
    bool convertible;
};
void PrintTo(const ConvertibleCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitConverterConvertible : public testing::TestWithParam<ConvertibleCase> {};

TEST_P(UnitConverterConvertible, answersByGroup) {
    const auto& c = GetParam();
    EXPECT_EQ(kitchen().unitsAreConvertible(c.unit, c.toUnit), c.convertible);
}

INSTANTIATE_TEST_SUITE_P(
    UnitConverter, UnitConverterConvertible,
    testing::Values(ConvertibleCase{"sameGroup", "teaspoon", "cup", true},
                    ConvertibleCase{"sameGroupReversed", "cup", "teaspoon", true},
                    ConvertibleCase{"weightGroup", "pound", "ounce", true},
                    ConvertibleCase{"acrossGroups", "cup", "ounce", false},
                    ConvertibleCase{"unitInAGroupToItself", "cup", "cup", true},
                    ConvertibleCase{"unknownUnitToItself", "pinch", "pinch", false},
                    ConvertibleCase{"unknownUnit", "teaspoon", "handful", false},
                    ConvertibleCase{"emptyName", "", "", false},
                    ConvertibleCase{"caseMatters", "Cup", "teaspoon", false}),
    [](const auto& info) { return info.param.name; });

struct ConvertCase {
    std::string name;
    RCRationalNumber amount;
    std::string from;
    std::string to;
    RCRationalNumber expected;
    std::string unitName;  // "untouched" when the out-slot must keep its value
};
void PrintTo(const ConvertCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitConverterConvert : public testing::TestWithParam<ConvertCase> {};

TEST_P(UnitConverterConvert, appliesTheFirstUsableRatio) {
    const auto& c = GetParam();
    std::string unitName = "untouched";
    const RCRationalNumber result = kitchen().convertUnit(c.amount, c.from, c.to, unitName);
    EXPECT_EQ(result, c.expected) << result.mixedNumber();
    EXPECT_EQ(unitName, c.unitName);
}

INSTANTIATE_TEST_SUITE_P(
    UnitConverter, UnitConverterConvert,
    testing::Values(
        ConvertCase{"threeTeaspoonsAreOneTablespoon", fraction(3), "teaspoon", "tablespoon",
                    fraction(1), "tablespoon"},
        ConvertCase{"tablespoonIsASixteenthCup", fraction(1), "tablespoon", "cup", fraction(1, 16),
                    "cup"},
        ConvertCase{"multipliesTowardSmallerUnit", fraction(3, 4), "cup", "tablespoon",
                    fraction(12), "tablespoon"},
        ConvertCase{"fractionStaysExact", fraction(1, 3), "teaspoon", "cup", fraction(1, 144),
                    "cup"},
        ConvertCase{"zeroAmount", fraction(0), "ounce", "pound", fraction(0), "pound"},
        ConvertCase{"noRatioLeavesAmountAndSlot", fraction(5), "cup", "ounce", fraction(5),
                    "untouched"},
        ConvertCase{"unknownFromUnit", fraction(5), "handful", "cup", fraction(5), "untouched"},
        ConvertCase{"sameUnitWithoutRatio", fraction(5), "cup", "cup", fraction(5), "untouched"},
        ConvertCase{"unknownOperationIsPassedOver", fraction(6), "gill", "cup", fraction(3), "cup"},
        ConvertCase{"fractionalValueCountsAsItsWholePart", fraction(5), "gill", "pint",
                    fraction(5, 2), "pint"},
        ConvertCase{"unusableValuesAreSkippedForLaterEntries", fraction(4), "gill", "quart",
                    fraction(1, 2), "quart"},
        ConvertCase{"resultBeyond32BitsKeepsTheUnit", fraction(3), "drop", "mist", fraction(3),
                    "untouched"},
        ConvertCase{"largeDivisorStaysExact", fraction(1), "drop", "barrel",
                    fraction(1, 2000000000), "barrel"}),
    [](const auto& info) { return info.param.name; });

struct ScaleCase {
    std::string name;
    RCRationalNumber amount;
    std::string unit;
    RCRationalNumber expected;
    std::string finalUnit;
};
void PrintTo(const ScaleCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitConverterScale : public testing::TestWithParam<ScaleCase> {};

TEST_P(UnitConverterScale, movesUpWhileAboveThreshold) {
    const auto& c = GetParam();
    std::string finalUnit = "stale";
    const RCRationalNumber result = kitchen().scaleUnit(c.amount, c.unit, finalUnit);
    EXPECT_EQ(result, c.expected) << result.mixedNumber();
    EXPECT_EQ(finalUnit, c.finalUnit);
}

INSTANTIATE_TEST_SUITE_P(
    UnitConverter, UnitConverterScale,
    testing::Values(
        ScaleCase{"atThresholdStays", fraction(3), "teaspoon", fraction(3), "teaspoon"},
        ScaleCase{"aboveThresholdMoves", fraction(4), "teaspoon", fraction(4, 3), "tablespoon"},
        ScaleCase{"justAboveThresholdMoves", fraction(301, 100), "teaspoon", fraction(301, 300),
                  "tablespoon"},
        ScaleCase{"chainedThresholds", fraction(48), "teaspoon", fraction(1), "cup"},
        ScaleCase{"chainStopsWhereItFallsBelow", fraction(12), "teaspoon", fraction(4),
                  "tablespoon"},
        ScaleCase{"ouncesToPounds", fraction(24), "ounce", fraction(3, 2), "pound"},
        ScaleCase{"sixteenOuncesStay", fraction(16), "ounce", fraction(16), "ounce"},
        ScaleCase{"noThresholdForUnit", fraction(100), "pound", fraction(100), "pound"},
        ScaleCase{"firstThresholdWithoutTargetStops", fraction(9), "pinch", fraction(9), "pinch"},
        ScaleCase{"targetWithoutRatioKeepsTheUnit", fraction(5), "dash", fraction(5), "dash"},
        ScaleCase{"unknownUnit", fraction(7), "handful", fraction(7), "handful"},
        ScaleCase{"emptyUnit", fraction(7), "", fraction(7), ""}),
    [](const auto& info) { return info.param.name; });

TEST(UnitConverterTables, cycleThroughSeveralUnitsEnds) {
    auto converter = UnitConverter::fromYAML(R"(
thresholds:
  - {unit: a, convert_to: b, quantity: 0}
  - {unit: b, convert_to: c, quantity: 0}
  - {unit: c, convert_to: a, quantity: 0}
conversions:
  - {unit: a, ratios: [{to_unit: b, value: 1, operation: "*"}]}
  - {unit: b, ratios: [{to_unit: c, value: 1, operation: "*"}]}
  - {unit: c, ratios: [{to_unit: a, value: 1, operation: "*"}]}
)");
    ASSERT_TRUE(converter.has_value());
    std::string unit;
    EXPECT_EQ(converter->scaleUnit(fraction(2), "a", unit), fraction(2));
    EXPECT_EQ(unit, "c");
}

TEST(UnitConverterTables, lastDocumentIsUsedAndMalformedEntriesSkipped) {
    auto converter = UnitConverter::fromYAML(R"(
convertible: [[first, document]]
---
thresholds:
  - {unit: teaspoon, convert_to: tablespoon, quantity: lots}
  - {convert_to: tablespoon, quantity: 3}
  - [teaspoon, tablespoon]
  - {unit: ounce, convert_to: pound, quantity: " 16 ounces"}
convertible:
  - [cup, pint]
  - cup
  - [{not: a name}, quart]
conversions:
  - {unit: cup}
  - {ratios: [{to_unit: pint, value: 2, operation: /}]}
  - {unit: cup, ratios: [{to_unit: pint, operation: /}, {to_unit: pint, value: 2, operation: /}]}
)");
    ASSERT_TRUE(converter.has_value()) << converter.error().description;
    ASSERT_EQ(converter->thresholds().size(), 1u);
    EXPECT_EQ(converter->thresholds()[0].unit, "ounce");
    EXPECT_EQ(converter->thresholds()[0].quantity, 16.0);
    EXPECT_EQ(converter->convertible(),
              (std::vector<std::vector<std::string>>{{"cup", "pint"}, {"quart"}}));
    ASSERT_EQ(converter->conversions().size(), 1u);
    ASSERT_EQ(converter->conversions()[0].ratios.size(), 1u);
    EXPECT_EQ(converter->conversions()[0].ratios[0].value, 2);
    EXPECT_FALSE(converter->unitsAreConvertible("first", "document"));
}

TEST(UnitConverterTables, emptyTablesChangeNothing) {
    for (const char* yaml : {"", "just text", "[a, b]", "thresholds: none\n"}) {
        auto converter = UnitConverter::fromYAML(yaml);
        ASSERT_TRUE(converter.has_value()) << yaml;
        std::string unit = "untouched";
        EXPECT_FALSE(converter->unitsAreConvertible("cup", "tablespoon")) << yaml;
        EXPECT_EQ(converter->convertUnit(fraction(2), "cup", "tablespoon", unit), fraction(2));
        EXPECT_EQ(unit, "untouched");
        EXPECT_EQ(converter->scaleUnit(fraction(99), "teaspoon", unit), fraction(99));
        EXPECT_EQ(unit, "teaspoon");
    }
}

TEST(UnitConverterTables, unreadableYAMLIsAnError) {
    EXPECT_FALSE(UnitConverter::fromYAML("thresholds: [unclosed\n").has_value());
}

TEST(UnitConverterTables, missingFileIsAnError) {
    EXPECT_FALSE(UnitConverter::fromFile("/nonexistent/conversions.yml").has_value());
}

// The file that ships with the program, found the way the program finds it.
class UnitConverterShipped : public testing::Test {
protected:
    static void SetUpTestSuite() {
        auto path = resourcePath("conversions.yml");
        ASSERT_TRUE(path.has_value()) << path.error().description;
        auto loaded = UnitConverter::fromFile(*path);
        ASSERT_TRUE(loaded.has_value()) << loaded.error().description;
        s_converter = std::move(*loaded);
    }
    static inline UnitConverter s_converter;
};

TEST_F(UnitConverterShipped, fromResourcesReadsTheSameTables) {
    const UnitConverter converter = UnitConverter::fromResources();
    EXPECT_EQ(converter.convertible(), s_converter.convertible());
    EXPECT_EQ(converter.thresholds().size(), s_converter.thresholds().size());
}

TEST_F(UnitConverterShipped, groupsCoverTheCommonUnits) {
    const std::vector<std::pair<std::string, std::string>> together = {
        {"teaspoon", "tablespoon"}, {"tablespoon", "cup"},
        {"cup", "fluid ounce"},     {"cup", "pint"},
        {"pint", "quart"},          {"quart", "gallon"},
        {"milliliter", "liter"},    {"ounce", "pound"},
        {"gram", "kilogram"}};
    for (const auto& [a, b] : together) {
        EXPECT_TRUE(s_converter.unitsAreConvertible(a, b)) << a << " " << b;
    }
    // No whole-number ratio joins these, so they must never be added up.
    const std::vector<std::pair<std::string, std::string>> apart = {
        {"cup", "milliliter"}, {"ounce", "gram"}, {"fluid ounce", "ounce"}, {"cup", "pound"}};
    for (const auto& [a, b] : apart) {
        EXPECT_FALSE(s_converter.unitsAreConvertible(a, b)) << a << " " << b;
    }
}

// Merging relies on this: whatever two units of a group the caller pairs, a ratio exists,
// and converting there and back (or by way of a third unit) gives the same amount.
TEST_F(UnitConverterShipped, everyPairInAGroupConvertsConsistently) {
    const RCRationalNumber amount = fraction(7, 2);
    for (const auto& group : s_converter.convertible()) {
        for (const auto& a : group) {
            for (const auto& b : group) {
                if (a == b) {
                    continue;
                }
                std::string unit;
                const RCRationalNumber there = s_converter.convertUnit(amount, a, b, unit);
                EXPECT_EQ(unit, b) << a << " to " << b;
                unit.clear();
                EXPECT_EQ(s_converter.convertUnit(there, b, a, unit), amount) << a << " " << b;
                EXPECT_EQ(unit, a);
                for (const auto& c : group) {
                    if (c == a || c == b) {
                        continue;
                    }
                    std::string direct;
                    std::string stepwise;
                    const auto viaB = s_converter.convertUnit(there, b, c, stepwise);
                    EXPECT_EQ(s_converter.convertUnit(amount, a, c, direct), viaB)
                        << a << " to " << c << " via " << b;
                }
            }
        }
    }
}

struct ShippedScaleCase {
    std::string name;
    RCRationalNumber amount;
    std::string unit;
    std::string expected;  // mixed number and unit
};
void PrintTo(const ShippedScaleCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitConverterShippedScale : public UnitConverterShipped,
                                  public testing::WithParamInterface<ShippedScaleCase> {};

TEST_P(UnitConverterShippedScale, readsAsACookWouldWriteIt) {
    std::string unit;
    const RCRationalNumber result = s_converter.scaleUnit(GetParam().amount, GetParam().unit, unit);
    EXPECT_EQ(result.mixedNumber() + " " + unit, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    UnitConverter, UnitConverterShippedScale,
    testing::Values(ShippedScaleCase{"threeTeaspoons", fraction(3), "teaspoon", "3 teaspoon"},
                    ShippedScaleCase{"fourTeaspoons", fraction(4), "teaspoon", "1 1/3 tablespoon"},
                    ShippedScaleCase{"fortyEightTeaspoons", fraction(48), "teaspoon", "1 cup"},
                    ShippedScaleCase{"fourTablespoons", fraction(4), "tablespoon", "4 tablespoon"},
                    ShippedScaleCase{"sixTablespoons", fraction(6), "tablespoon", "3/8 cup"},
                    ShippedScaleCase{"manyCupsStayCups", fraction(12), "cup", "12 cup"},
                    ShippedScaleCase{"thirtyTwoOunces", fraction(32), "ounce", "2 pound"},
                    ShippedScaleCase{"twentyOunces", fraction(20), "ounce", "1 1/4 pound"},
                    ShippedScaleCase{"metricStays", fraction(1500), "milliliter",
                                     "1500 milliliter"},
                    ShippedScaleCase{"gramsStay", fraction(2500), "gram", "2500 gram"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace miravel
