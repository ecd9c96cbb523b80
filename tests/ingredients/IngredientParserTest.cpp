#include "ingredients/IngredientParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ingredients/IngredientTestLists.h"
#include "lib/ResourceFolder.h"

namespace miravel {
namespace {

using testing::testParser;

std::optional<RCRationalNumber> amount(int numerator, int denominator = 1) {
    return RCRationalNumber::valueWithNumerator(numerator, denominator);
}

std::string show(const std::optional<RCRationalNumber>& value) {
    return value ? value->description() : "null";
}

std::string show(const std::optional<std::string>& value) {
    return value.value_or("null");
}

struct ExtractCase {
    const char* line;
    std::optional<RCRationalNumber> quantity;
    std::optional<std::string> range;
    std::optional<RCRationalNumber> quantityRange;
    std::optional<std::string> unit;
    std::optional<std::string> size = std::nullopt;
    std::optional<std::string> color = std::nullopt;
};

class ExtractAmount : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractAmount, ReadsTheSixFields) {
    const ExtractCase& c = GetParam();
    IngredientInformation got = testParser().extractIngredientInformation(c.line);
    EXPECT_EQ(show(got.quantity), show(c.quantity)) << c.line;
    EXPECT_EQ(show(got.range), show(c.range)) << c.line;
    EXPECT_EQ(show(got.quantityRange), show(c.quantityRange)) << c.line;
    EXPECT_EQ(show(got.unit), show(c.unit)) << c.line;
    EXPECT_EQ(show(got.size), show(c.size)) << c.line;
    EXPECT_EQ(show(got.color), show(c.color)) << c.line;
}

const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Lines, ExtractAmount,
    ::testing::Values(
        ExtractCase{"2 (14.5 ounce) cans tomatoes", amount(2), none, none, "cans"},
        ExtractCase{"2 14.5-ounce cans tomatoes", amount(2), none, none, "cans"},
        ExtractCase{"2 28-ounce cans", amount(2), none, none, "cans"},
        ExtractCase{"2 16 oz. cans", amount(2), none, none, "cans"},
        ExtractCase{"1 1/2 cups flour", amount(3, 2), none, none, "cups"},
        ExtractCase{"3/4 cup sugar", amount(3, 4), none, none, "cup"},
        ExtractCase{"3\u20444 cup sugar", amount(3, 4), none, none, "cup"},
        ExtractCase{"1.5 pounds beef", amount(3, 2), none, none, none},
        ExtractCase{".5 cup milk", amount(1, 2), none, none, "cup"},
        ExtractCase{"2-3 tablespoons oil", amount(2), "-", amount(3), "tablespoons"},
        ExtractCase{"2 \u2013 3 tablespoons oil", amount(2), "\u2013", amount(3), "tablespoons"},
        ExtractCase{"2 to 3 cloves garlic", amount(2), "to", amount(3), "cloves"},
        ExtractCase{"one large egg", amount(1), none, none, none, "large"},
        ExtractCase{"salt, to taste", none, none, none, none},
        ExtractCase{"to taste", none, none, none, none}, ExtractCase{"", none, none, none, none},
        ExtractCase{"2 Cups", amount(2), none, none, "cups"},
        // A whole number and a vulgar fraction are one amount, with or without a space.
        ExtractCase{"1 \u00BD cup", amount(3, 2), none, none, "cup"},
        ExtractCase{"1\u00BDcups", amount(3, 2), none, none, "cups"},
        ExtractCase{"\u00BD \u00BD cup", amount(1, 2), none, none, "cup"},
        // The first measure is the line's: later amounts and units are alternatives or
        // additions ("plus"), not replacements.
        ExtractCase{"1 1/2 cups, plus 2 teaspoons", amount(3, 2), none, none, "cups"},
        ExtractCase{"2 cups/480 ounces milk", amount(2), none, none, "cups"},
        ExtractCase{"150 oz/5\u00BC cups flour", amount(150), none, none, "oz"},
        // A conjunction between numbers joins a range; after an amount it starts an
        // alternative, and the first amount stands.
        ExtractCase{"1 or 2 eggs", amount(1), "or", amount(2), none},
        ExtractCase{"1 small or 1/2 large onion", amount(1), none, none, none, "small"},
        ExtractCase{"2 cups or 1 can tomatoes", amount(2), none, none, "cups"},
        // Without a unit or conjunction in between, a later number replaces the earlier.
        ExtractCase{"1 cloves 2", amount(1), none, none, "cloves"},
        ExtractCase{"1 tomato 2", amount(2), none, none, none},
        // A count, then the size of each.
        ExtractCase{"1 10-ounce can", amount(1), none, none, "can"},
        ExtractCase{"1 6 1/2-ounce can tuna", amount(1), none, none, "can"},
        ExtractCase{"one 14-ounce block tofu", amount(1), none, none, none},
        ExtractCase{"2 1/2-ounce tomatoes", amount(5, 2), none, none, "ounce"},
        ExtractCase{"\u00BE cup", amount(3, 4), none, none, "cup"},
        ExtractCase{"1 1/0 cups", none, none, none, "cups"},
        ExtractCase{"3/0 cup", none, none, none, "cup"},
        ExtractCase{"a red onion", amount(1), none, none, none, none, "red"},
        // A number word counts only while no amount was read.
        ExtractCase{"2 dozen eggs", amount(2), none, none, none},
        // A dash between words is no range.
        ExtractCase{"2 cups - sifted", amount(2), none, none, "cups"},
        // Adjectives and multi-word adjectives are skipped, and a terminator needs a name
        // word first: the comma after the amount does not end the line.
        ExtractCase{"2, finely chopped large tomatoes", amount(2), none, none, none, "large"},
        // Amounts too large for a fraction are no amount rather than a wrong one.
        // Beyond 32 bits there is no amount: clipped, it would say a number the line does not.
        ExtractCase{"99999999999 cups", none, none, none, "cups"},
        ExtractCase{"1/99999999999 cups", none, none, none, "cups"},
        ExtractCase{"\u0663 cups", amount(3), none, none, "cups"}));

TEST(IngredientNumbers, ConvertWordsAndFractions) {
    EXPECT_EQ(IngredientParser::convertNumeric("One"), amount(1));
    EXPECT_EQ(IngredientParser::convertNumeric("ten"), amount(10));
    EXPECT_EQ(IngredientParser::convertNumeric("eleven"), amount(11));
    EXPECT_EQ(IngredientParser::convertNumeric("nineteen"), amount(19));
    EXPECT_EQ(IngredientParser::convertNumeric("halves"), amount(1, 2));
    EXPECT_EQ(IngredientParser::convertNumeric("one-quarter"), amount(1, 4));
    EXPECT_EQ(IngredientParser::convertNumeric("an"), amount(1));
    EXPECT_EQ(IngredientParser::convertNumeric("a dozen"), amount(12));
    EXPECT_EQ(IngredientParser::convertNumeric("two dozen"), amount(24));
    EXPECT_EQ(IngredientParser::convertNumeric("twenty"), std::nullopt);
    EXPECT_EQ(IngredientParser::convertFraction("\u215B"), amount(1, 8));
    EXPECT_EQ(IngredientParser::convertFraction("\u2154"), amount(2, 3));
    EXPECT_EQ(IngredientParser::convertFraction("\u215C"), std::nullopt);  // 3/8: not read
    EXPECT_EQ(IngredientParser::convertFraction("1/2"), std::nullopt);
}

// Exact, also below eighths: a rounded "0.31" would be read back as 31/100.
TEST(IngredientNumbers, PrintFractionsExactly) {
    EXPECT_EQ(IngredientParser::printFraction(*amount(3, 2)), "1 1/2");
    EXPECT_EQ(IngredientParser::printFraction(*amount(3, 8)), "3/8");
    EXPECT_EQ(IngredientParser::printFraction(*amount(1, 3)), "1/3");
    EXPECT_EQ(IngredientParser::printFraction(*amount(5, 16)), "5/16");
    EXPECT_EQ(IngredientParser::printFraction(*amount(17, 10)), "1 7/10");
    EXPECT_EQ(IngredientParser::printFraction(*amount(4)), "4");
}

struct AisleCase {
    const char* text;
    const char* aisle;
    std::optional<std::string> ingredient;
};

class RecognizeAisle : public ::testing::TestWithParam<AisleCase> {};

TEST_P(RecognizeAisle, FindsIngredientAndAisle) {
    const AisleCase& c = GetParam();
    std::optional<std::string> ingredient = "unset";
    EXPECT_EQ(testParser().getAisle(c.text, &ingredient), c.aisle) << c.text;
    EXPECT_EQ(show(ingredient), show(c.ingredient)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RecognizeAisle,
    ::testing::Values(AisleCase{"2 cups frozen peas", "Frozen Foods", "pea"},
                      AisleCase{"1 can red beans, drained", "Canned and Jar Goods", "bean"},
                      AisleCase{"1 (15 ounce) can tomatoes", "Canned and Jar Goods", "tomato"},
                      AisleCase{"canned tomatoes", "Canned and Jar Goods", "tomato"},
                      AisleCase{"3 sprigs parsley", "Produce", "parsley"},
                      AisleCase{"deli ham", "Miscellaneous", "deli ham"},
                      AisleCase{"ham or deli", "Deli", "ham"},
                      AisleCase{"ham, from the deli", "Meat", "ham"},
                      AisleCase{"salt and pepper", "Spices and Seasonings", "salt and pepper"},
                      AisleCase{"salt & pepper", "Spices and Seasonings", "salt"},
                      AisleCase{"garlic or pepper", "Produce", "garlic"},
                      AisleCase{"dish soap", "Miscellaneous", "dish soap"},
                      AisleCase{"frozen pizza", "Miscellaneous", "pizza"},
                      AisleCase{"", "Miscellaneous", std::nullopt},
                      AisleCase{"2 cups", "Miscellaneous", std::nullopt},
                      AisleCase{"and", "Miscellaneous", std::nullopt},
                      AisleCase{"1 cup of flour", "Baking Goods", "flour"},
                      AisleCase{"fresh parsley, finely chopped", "Produce", "parsley"},
                      AisleCase{"2 large tomatoes", "Produce", "tomato"},
                      AisleCase{"a red tomato", "Produce", "tomato"},
                      AisleCase{"corn", "Produce", "corn"},
                      AisleCase{"spaghetti pasta", "Miscellaneous", "spaghetti pasta"},
                      AisleCase{"(optional) salt", "Spices and Seasonings", "salt"}));

TEST(IngredientReferenceStore, OrdersRowsAsTheQueriesAsk) {
    const IngredientParser& parser = testParser();
    auto corn = parser.fetchIngredients("corn");
    ASSERT_EQ(corn.size(), 2u);
    EXPECT_EQ(corn[0]->aisle, "Produce");
    EXPECT_EQ(corn[1]->aisle, "Canned and Jar Goods");
    EXPECT_EQ(parser.fetchIngredients("corns").size(), 1u);
    EXPECT_TRUE(parser.fetchIngredients("").empty());
    EXPECT_TRUE(parser.fetchIngredients("Peas").empty());  // lines are lower-cased before
    ASSERT_NE(parser.fetchUnit("cups"), nullptr);
    EXPECT_EQ(parser.fetchUnit("cups")->canonical, "cup");
    EXPECT_EQ(parser.fetchUnit("fl oz")->canonical, "fluid ounce");
    EXPECT_EQ(parser.fetchUnit(""), nullptr);
    EXPECT_EQ(parser.fetchUnit("smidgen"), nullptr);
}

TEST(IngredientReferenceStore, FirstUnitByNameDescending) {
    IngredientReferenceStore store(
        {}, {{"a", "x", "first"}, {"b", "x", "second"}, {"x", std::nullopt, "third"}});
    EXPECT_EQ(store.fetchUnit("x")->canonical, "third");
}

// The shipped store and word lists, from the build tree.
TEST(SharedIngredientParser, AnswersFromTwoThreadsAtOnce) {
    if (!resourcePath("Ingredients.sqlite")) {
        GTEST_SKIP() << "no reference store in the build tree";
    }
    const IngredientParser& parser = IngredientParser::sharedParser();
    const std::vector<std::string> lines = {"2 cups frozen peas", "1 can black beans, drained",
                                            "1 1/2 cups all-purpose flour", "salt, to taste",
                                            "3 cloves garlic, minced"};
    auto recognize = [&](const std::string& line) {
        std::optional<std::string> ingredient;
        std::string aisle = parser.getAisle(line, &ingredient);
        return aisle + "|" + show(ingredient);
    };
    std::vector<std::string> expected;
    for (const std::string& line : lines) {
        expected.push_back(recognize(line));
    }
    EXPECT_EQ(expected[0], "Frozen Foods|pea");
    EXPECT_EQ(expected[1].substr(0, expected[1].find('|')), "Canned and Jar Goods");
    auto work = [&](std::vector<std::string>& results) {
        for (int round = 0; round < 300; ++round) {
            for (const std::string& line : lines) {
                results.push_back(recognize(line));
                parser.extractIngredientInformation(line);
            }
        }
    };
    std::vector<std::string> first;
    std::vector<std::string> second;
    std::thread a(work, std::ref(first));
    std::thread b(work, std::ref(second));
    a.join();
    b.join();
    ASSERT_EQ(first.size(), 300 * lines.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(first[i], expected[i % lines.size()]);
        ASSERT_EQ(second[i], expected[i % lines.size()]);
    }
}

}  // namespace
}  // namespace miravel
