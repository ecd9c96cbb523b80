#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "ingredients/IngredientTestLists.h"
#include "ingredients/TokenScanner.h"

namespace miravel {
namespace {

using testing::testParser;

std::string describe(const std::vector<IngredientToken>& tokens) {
    std::string text;
    for (const IngredientToken& token : tokens) {
        text += token.description() + " ";
    }
    return text;
}

struct TokenizeCase {
    const char* line;
    std::vector<IngredientToken> tokens;
};

class TokenizeLine : public ::testing::TestWithParam<TokenizeCase> {};

TEST_P(TokenizeLine, CutsIntoTypedTokens) {
    const TokenizeCase& c = GetParam();
    auto tokens = testParser().tokenizeString(c.line);
    EXPECT_EQ(tokens, c.tokens) << c.line << " gave " << describe(tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TokenizeLine,
    ::testing::Values(
        TokenizeCase{"1 1/2 cups flour",
                     {{13, "1"}, {13, "1"}, {2, "/"}, {13, "2"}, {4, "cups"}, {11, "flour"}}},
        TokenizeCase{"1-2", {{13, "1"}, {14, "-"}, {13, "2"}}},
        TokenizeCase{"1\u20132", {{13, "1"}, {14, "\u2013"}, {13, "2"}}},
        TokenizeCase{"1.5", {{13, "1"}, {1, "."}, {13, "5"}}},
        TokenizeCase{"1\u00BD", {{13, "1"}, {13, "\u00BD"}}},
        // A dash after letters stays in the word.
        TokenizeCase{"all-purpose flour", {{11, "all-purpose"}, {11, "flour"}}},
        TokenizeCase{"one-half", {{11, "one-half"}}},
        // Trailing white space leaves an empty token; so does an empty line.
        TokenizeCase{"salt ", {{11, "salt"}, {0, ""}}}, TokenizeCase{"", {{0, ""}}},
        // Punctuation characters are tokens of their own, even side by side.
        TokenizeCase{"(),", {{3, "("}, {3, ")"}, {3, ","}}},
        TokenizeCase{"salt & pepper", {{11, "salt"}, {8, "&"}, {11, "pepper"}}},
        TokenizeCase{"2 Cups", {{13, "2"}, {4, "cups"}}},
        TokenizeCase{"3\u20444", {{13, "3"}, {2, "\u2044"}, {13, "4"}}},
        // After a dash the buffer is only cut when it is the lone dash, so a digit joins
        // "x-" and the group takes the digit's class.
        TokenizeCase{"x-1", {{13, "x-1"}}},
        // Letters with combining marks and other scripts are letter groups, lower-cased.
        TokenizeCase{"CR\u00C8ME Fra\u0131\u0302che",
                     {{11, "cr\u00E8me"}, {11, "fra\u0131\u0302che"}}},
        // Characters of no class run together into one untyped token.
        TokenizeCase{"1 @@ cup", {{13, "1"}, {0, "@@"}, {4, "cup"}}},
        // Outside the Basic Multilingual Plane a letter is two UTF-16 halves: "other".
        TokenizeCase{"\U0001D400b", {{0, "\U0001D400"}, {11, "b"}}},
        // Invalid UTF-8 reads as U+FFFD and never breaks the line apart.
        TokenizeCase{"2 \xFF cups", {{13, "2"}, {0, "\uFFFD"}, {4, "cups"}}}));

TEST(TokenScanner, LooksAheadAndBehind) {
    std::vector<IngredientToken> tokens = {{13, "2"}, {14, "-"}, {13, "3"}, {4, "cups"}};
    TokenScanner scanner(tokens);
    EXPECT_EQ(scanner.typeAt(-1), 0);  // nothing consumed yet
    ASSERT_NE(scanner.next(), nullptr);
    ASSERT_EQ(scanner.next()->value, "-");
    EXPECT_EQ(scanner.typeAt(-1), 14);
    EXPECT_EQ(scanner.typeAt(-2), 13);
    EXPECT_EQ(scanner.typeAt(-3), 0);
    EXPECT_EQ(scanner.typeAt(0), 13);
    EXPECT_EQ(scanner.typeAt(1), 4);
    EXPECT_EQ(scanner.typeAt(2), 0);
    EXPECT_EQ(*scanner.valueAt(1), "cups");
    EXPECT_EQ(scanner.valueAt(2), nullptr);
    EXPECT_EQ(scanner.valueAt(-1), nullptr);

    EXPECT_TRUE(scanner.matchSuffix({}));
    EXPECT_TRUE(scanner.matchSuffix({"3", "cups"}));
    EXPECT_FALSE(scanner.matchSuffix({"3", "cup"}));
    EXPECT_FALSE(scanner.matchSuffix({"3", "cups", "more"}));

    auto skipped = scanner.skip(5);
    EXPECT_EQ(skipped.size(), 2u);
    EXPECT_FALSE(scanner.hasTokens());
    EXPECT_EQ(scanner.next(), nullptr);
    EXPECT_EQ(scanner.usedTokens().size(), 4u);
}

TEST(IngredientCharacterTests, FollowUnicodeCategories) {
    EXPECT_TRUE(IngredientParser::isDigit("7"));
    EXPECT_TRUE(IngredientParser::isDigit("\u0663"));  // Arabic-Indic three
    EXPECT_FALSE(IngredientParser::isDigit("\u00BD"));
    EXPECT_FALSE(IngredientParser::isDigit(""));
    EXPECT_TRUE(IngredientParser::isAlpha("\u00E9"));
    EXPECT_TRUE(IngredientParser::isAlpha("\u0301"));  // a combining mark
    EXPECT_FALSE(IngredientParser::isAlpha("\U0001D400"));
    EXPECT_TRUE(IngredientParser::isSpace("\u00A0"));
    EXPECT_TRUE(IngredientParser::isSpace("\u2028"));
    EXPECT_TRUE(IngredientParser::isSpace("\t\n"));
    EXPECT_FALSE(IngredientParser::isSpace("-"));
}

TEST(IngredientWordLists, WithoutListsEveryLetterGroupIsAWord) {
    IngredientParser parser(WordLists(), nullptr);
    auto tokens = parser.tokenizeString("2 cups, (flour)");
    std::vector<IngredientToken> expected = {{13, "2"}, {11, "cups"},  {0, ","},
                                             {0, "("},  {11, "flour"}, {0, ")"}};
    EXPECT_EQ(tokens, expected) << describe(tokens);
    auto information = parser.extractIngredientInformation("2 cups flour");
    EXPECT_EQ(information.quantity, RCRationalNumber(2));
    EXPECT_FALSE(information.unit);
}

TEST(IngredientWordLists, ReadUnitShapesAndMultiWordEntries) {
    auto lists = WordLists::fromYAML(R"(
units:
  - [teaspoon, teaspoons]
  - [oz, oz]
  - {variations: [[tbsp, tbsps], [tbs]]}
  - not a pair
adjectives: [finely chopped, finely minced]
terminators: [finely diced a bit]
colors: [red, 12]
)");
    ASSERT_TRUE(lists);
    EXPECT_EQ(lists->units(),
              (std::vector<std::string>{"teaspoon", "teaspoons", "oz", "tbsp", "tbsps", "tbs"}));
    const auto* sequences = lists->multiWordSequences("finely");
    ASSERT_NE(sequences, nullptr);
    EXPECT_EQ(*sequences, (std::vector<std::vector<std::string>>{
                              {"chopped"}, {"minced"}, {"diced", "a", "bit"}}));
    EXPECT_TRUE(lists->contains(WordLists::kAdjectives, "finely chopped"));
    EXPECT_TRUE(lists->contains(WordLists::kColors, "red"));
    EXPECT_FALSE(WordLists::fromYAML("units: [unclosed"));
}

}  // namespace
}  // namespace miravel
