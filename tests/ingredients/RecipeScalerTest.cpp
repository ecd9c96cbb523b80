#include "ingredients/RecipeScaler.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace miravel {
namespace {

RCRationalNumber factor(int numerator, int denominator) {
    return *RCRationalNumber::valueWithNumerator(numerator, denominator);
}

struct Case {
    const char* text;
    int numerator;
    int denominator;
    const char* expected;
};

TEST(RecipeScaler, scalesTheLeadingAmountOfEveryLine) {
    const Case cases[] = {
        {"1 1/2 cups flour", 2, 1, "3 cups flour"},
        {"3/4 cup sugar", 1, 2, "3/8 cup sugar"},
        {"2 to 3 tablespoons", 1, 2, "1 to 1 1/2 tablespoons"},
        {"1.5 lb", 2, 1, "3 lb"},
        {"\u00BD tsp", 3, 1, "1 1/2 tsp"},
        {"1/3 cup", 1, 2, "1/6 cup"},
        {"0.5", 3, 1, "1.5"},
        {"1/3 cup", 3, 1, "1 cup"},
        {"2/3 cup", 3, 2, "1 cup"},
        {"0.75 cup milk", 1, 3, "0.25 cup milk"},
        // Only the amount at the start is an amount; the can size is part of the name.
        {"1 (14.5 ounce) can tomatoes", 2, 1, "2 (14.5 ounce) can tomatoes"},
        // A vulgar fraction glued to its unit still scales.
        {"\u00BDcup butter", 2, 1, "1cup butter"},
        // "1½" is one and a half, written without a space.
        {"1\u00BD cups", 2, 1, "3 cups"},
        {"12 cups", 1, 2, "6 cups"},
        {"1\u00BD to 2\u00BD cups", 2, 1, "3 to 5 cups"},
        {"1 \u00BD cups", 2, 1, "3 cups"},
        {"1-1/2 cups", 2, 1, "3 cups"},
        {"1 1/2 to 2 cups", 2, 1, "3 to 4 cups"},
        {"2 - 3 cups", 2, 1, "4 - 6 cups"},
        {"2-3 cups", 2, 1, "4-6 cups"},
        {"2-3 cups", 1, 2, "1-1 1/2 cups"},
        {"4 to taste", 1, 2, "2 to taste"},
        {"  2 eggs\t", 2, 1, "4 eggs"},
        {"\u0663 eggs", 2, 1, "6 eggs"},
        // Left alone: no amount, a zero denominator, a product beyond 32 bits, an ellipsis
        // (the lines kept for a reason are reported, see reportsTheLinesItKeptUnscaled).
        {"Salt and pepper", 2, 1, "Salt and pepper"},
        {"  Salt and pepper  ", 2, 1, "Salt and pepper"},
        {"1/0 cup", 2, 1, "1/0 cup"},
        {"2000000000 grains", 2, 1, "2000000000 grains"},
        {"... and more", 2, 1, "... and more"},
        // What follows the amount is kept byte for byte, even when it is not valid UTF-8.
        {"2 caf\xff", 2, 1, "4 caf\xff"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            RecipeScaler::scaleIngredients(std::string(c.text), factor(c.numerator, c.denominator)),
            c.expected)
            << c.text << " at " << c.numerator << "/" << c.denominator;
    }
}

TEST(RecipeScaler, keepsHeadingsAndLineStructure) {
    const Case cases[] = {
        {"For the dough:\n2 cups flour\n\n1 egg", 1, 2, "For the dough:\n1 cup flour\n\n1/2 egg"},
        {"\t For the sauce:  \n1 onion", 2, 1, "For the sauce:\n2 onions"},
        // Every line-ending character ends a line, so CR LF leaves an empty one between.
        {"1 cup\r\n2 eggs", 2, 1, "2 cups\n\n4 eggs"},
        {"1 egg\u20282 eggs\u20293 eggs\u00854 eggs\v5\f6\r7", 2, 1,
         "2 eggs\n4 eggs\n6 eggs\n8 eggs\n10\n12\n14"},
        {"1 egg\n", 2, 1, "2 eggs\n"},
        {"", 2, 1, ""},
        {"   ", 2, 1, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            RecipeScaler::scaleIngredients(std::string(c.text), factor(c.numerator, c.denominator)),
            c.expected)
            << c.text;
    }
}

TEST(RecipeScaler, factorOfOneOrNoneReturnsTheTextUntouched) {
    const std::string text = "  2 cups flour \r\n\tFor the sauce:  \n\n1\u00BD tsp\u2028";
    EXPECT_EQ(RecipeScaler::scaleIngredients(text, factor(1, 1)), text);
    EXPECT_EQ(RecipeScaler::scaleIngredients(text, factor(2, 2)), text);
    EXPECT_EQ(RecipeScaler::scaleIngredients(text, std::nullopt), text);
    EXPECT_EQ(RecipeScaler::scaleIngredients(std::nullopt, factor(2, 1)), std::nullopt);
}

TEST(RecipeScaler, scalesOneAmount) {
    const Case cases[] = {
        {"1 1/2", 2, 1, "3"},       {"1-1/2", 1, 1, "1 1/2"}, {"1 \u00BE", 1, 1, "1 3/4"},
        {"1\u00BE", 2, 1, "3 1/2"}, {"\u2154", 3, 1, "2"},    {"\u215B", 1, 1, "1/8"},
        {"1.25", 1, 1, "1.25"},     {"1.25", 2, 1, "2.5"},    {"1,500", 2, 1, "3000"},
        {"1.2.3", 2, 1, "1.2.3"},   {"7", 1, 2, "3 1/2"},     {"2/4", 1, 1, "1/2"},
        {"cup", 2, 1, "cup"},       {"3/0", 2, 1, "3/0"},     {"", 2, 1, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecipeScaler::scaleQuantity(c.text, factor(c.numerator, c.denominator)),
                  c.expected)
            << c.text;
    }
}

struct KeptCase {
    const char* text;
    int numerator;
    int denominator;
    AmountProblem problem;
};

// A line that cannot be scaled exactly is kept as written, never printed with a wrong number,
// and said to be kept.
TEST(RecipeScaler, reportsTheLinesItKeptUnscaled) {
    const KeptCase cases[] = {
        {"3000000000 g flour", 2, 1, AmountProblem::TooLarge},
        {"2000000000 grains", 2, 1, AmountProblem::TooLarge},
        {"1,000,000 g flour", 1000000, 1, AmountProblem::TooLarge},
        {"1 to 3000000000 g flour", 2, 1, AmountProblem::TooLarge},
        {"1e308 g flour", 1000000, 1, AmountProblem::NotANumber},
        {"0.000000000001 g flour", 2, 1, AmountProblem::TooPrecise},
        {"1/46341 g", 1, 46341, AmountProblem::TooPrecise},
        {"1.5.5 g flour", 2, 1, AmountProblem::NotANumber},
        {"1,5 kg flour", 2, 1, AmountProblem::NotANumber},
        {"1/0 cup", 2, 1, AmountProblem::DividesByZero},
    };
    for (const KeptCase& c : cases) {
        const std::string text = std::string("1 egg\n") + c.text;
        const auto scaled =
            RecipeScaler::scaleIngredientLines(text, factor(c.numerator, c.denominator));
        EXPECT_EQ(scaled.text.substr(scaled.text.find('\n') + 1), c.text);
        ASSERT_EQ(scaled.kept.size(), 1u) << c.text;
        EXPECT_EQ(scaled.kept[0].line, 2u) << c.text;
        EXPECT_EQ(scaled.kept[0].problem, c.problem) << c.text;
    }
    const auto fine =
        RecipeScaler::scaleIngredientLines("1,000,000 g\n... more\nSalt", factor(2, 1));
    EXPECT_EQ(fine.text, "2000000 g\n... more\nSalt");
    EXPECT_TRUE(fine.kept.empty());
}

// The unit word after the amount, or else the ingredient word, follows the scaled amount:
// plural above one, singular at or below.
TEST(RecipeScaler, fitsTheWordAfterTheAmountToIt) {
    const Case cases[] = {
        {"1 egg", 3, 1, "3 eggs"},
        {"1 tablespoon sugar", 3, 1, "3 tablespoons sugar"},
        {"2 eggs", 1, 2, "1 egg"},
        {"2 eggs", 1, 4, "1/2 egg"},
        {"1 1/2 cups flour", 1, 2, "3/4 cup flour"},
        {"1/2 large onions", 2, 1, "1 large onion"},
        {"1 large onion, chopped", 2, 1, "2 large onions, chopped"},
        {"1 Cup milk", 2, 1, "2 Cups milk"},
        {"1 to 2 cup stock", 1, 1, "1 to 2 cup stock"},
        {"1/2 to 1 cup stock", 2, 1, "1 to 2 cups stock"},
        {"1 clove garlic", 3, 1, "3 cloves garlic"},
        // Abbreviations have no plural; the ingredient after a unit is not counted.
        {"1 tbsp eggs", 3, 1, "3 tbsp eggs"},
        {"1 tsp salt", 3, 1, "3 tsp salt"},
        // A word that goes on into a longer name, or unknown, stays as written.
        {"1 egg white", 3, 1, "3 egg white"},
        {"1 zorbleflax", 3, 1, "3 zorbleflax"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            RecipeScaler::scaleIngredients(std::string(c.text), factor(c.numerator, c.denominator)),
            c.expected)
            << c.text;
    }
}

TEST(RecipeScaler, readsAWholeTextAsOneAmount) {
    struct AmountCase {
        const char* text;
        std::optional<RCRationalNumber> value;
    };
    const AmountCase cases[] = {
        {"3/2", factor(3, 2)},    {"1 1/2", factor(3, 2)},   {"1.5", factor(3, 2)},
        {"\u00BD", factor(1, 2)}, {"1\u00BD", factor(3, 2)}, {"2", factor(2, 1)},
        {"1 2", std::nullopt},    {"1.5x", std::nullopt},    {"", std::nullopt},
        {"-2", std::nullopt},
    };
    for (const AmountCase& c : cases) {
        const auto amount = RecipeScaler::readAmount(c.text);
        EXPECT_EQ(amount ? std::optional(amount->value) : std::nullopt, c.value) << c.text;
    }
    EXPECT_EQ(RecipeScaler::readAmount("99999999999/1").error(), AmountProblem::TooLarge);
}

TEST(RecipeScaler, scalesServingsAndMarksThem) {
    const Case cases[] = {
        {"4 servings", 1, 2, "2 servings (Scaled)"},
        {"4-6", 3, 2, "6-9 (Scaled)"},
        {"4 to 6", 1, 2, "2 to 3 (Scaled)"},
        {"3", 1, 2, "1 1/2 (Scaled)"},
        {"Serves 4", 2, 1, "Serves 4 (Scaled)"},
        {"4 -", 2, 1, "8 - (Scaled)"},
        {"99999999999 people", 2, 1, "99999999999 people (Scaled)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            RecipeScaler::scaleServings(std::string(c.text), factor(c.numerator, c.denominator)),
            c.expected)
            << c.text;
    }
    EXPECT_EQ(RecipeScaler::scaleServings(std::string("4 to 6 "), factor(3, 3)), "4 to 6 ");
    EXPECT_EQ(RecipeScaler::scaleServings(std::string("4"), std::nullopt), "4");
    EXPECT_EQ(RecipeScaler::scaleServings(std::nullopt, factor(2, 1)), std::nullopt);
}

TEST(RecipeScaler, splitsAtEveryLineEndingCharacter) {
    EXPECT_EQ(splitAtLineBreaks("a\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitAtLineBreaks("a\u2029"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitAtLineBreaks(""), (std::vector<std::string>{""}));
    // U+2027 shares the lead bytes of U+2028 and is not a line break.
    EXPECT_EQ(splitAtLineBreaks(" \u2027 "), (std::vector<std::string>{" \u2027 "}));
}

TEST(RecipeScaler, givesTheSameAnswersOnManyThreads) {
    const std::string text = "1 1/2 cups flour\n2 to 3 eggs\n\u00BD tsp salt";
    const std::string expected = "3 cups flour\n4 to 6 eggs\n1 tsp salt";
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                failures[t] += RecipeScaler::scaleIngredients(text, factor(2, 1)) != expected;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(8, 0));
}

}  // namespace
}  // namespace miravel
