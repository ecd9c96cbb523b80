// Merging two grocery lines into one row text.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/ResourceFolder.h"

namespace miravel {
namespace {

constexpr const char* kWordLists = R"yaml(
adjectives: [fresh, sifted]
colors: [red, green]
conjunctions: [and, or]
fractions: ["½", "¼", "¾", "⅓", "⅔", "⅛"]
numerics: [one, two, a, an, half]
phrases: []
preparations: [chopped, minced]
prepositions: [of]
punctuation: ["(", ")", ".", "/", "⁄", ",", ";"]
ranges: [to]
terminators: [",", ";", to taste]
sizes: [large, small]
units:
  - [cup, cups]
  - [c, c]
  - [tablespoon, tablespoons]
  - [pint, pints]
  - [pound, pounds]
  - variations:
      - [ounce, ounces]
      - [oz, oz]
  - [pinch, pinches]
  - [sprig, sprigs]
)yaml";

// "sprig" is a unit to the word lists but unknown to the reference store.
std::shared_ptr<const IngredientReferenceStore> referenceStore() {
    return std::make_shared<const IngredientReferenceStore>(
        std::vector<IngredientRow>{
            {"milk", std::nullopt, "Dairy"},
            {"butter", std::nullopt, "Dairy"},
            {"flour", std::nullopt, "Baking Goods"},
            {"egg", "eggs", "Dairy"},
            {"stock", std::nullopt, "Soups"},
            {"salt", std::nullopt, "Spices and Seasonings"},
            {"pepper", "peppers", "Produce"},
        },
        std::vector<UnitRow>{
            {"cup", "cups", "cup"},
            {"c", std::nullopt, "cup"},
            {"tablespoon", "tablespoons", "tablespoon"},
            {"pint", "pints", "pint"},
            {"pound", "pounds", "pound"},
            {"ounce", "ounces", "ounce"},
            {"oz", std::nullopt, "ounce"},
            {"pinch", "pinches", "pinch"},
        });
}

// Cups and tablespoons convert, and so do ounces and pounds; a pint shares the volume group
// but has no ratio to anything. No amount ever moves to a larger unit.
UnitConverter plainConverter() {
    using R = UnitConverter::Ratio;
    return UnitConverter({}, {{"tablespoon", "cup", "pint"}, {"ounce", "pound"}},
                         {{"cup", {R{"tablespoon", 16, "*"}}},
                          {"tablespoon", {R{"cup", 16, "/"}}},
                          {"pound", {R{"ounce", 16, "*"}}},
                          {"ounce", {R{"pound", 16, "/"}}}});
}

// The same, with more than 4 tablespoons moving up to cups.
UnitConverter thresholdConverter() {
    UnitConverter plain = plainConverter();
    return UnitConverter({{"tablespoon", "cup", 4}}, plain.convertible(), plain.conversions());
}

enum class Tables { Plain, Threshold };

const IngredientParser& parser(Tables tables) {
    static const IngredientParser plain(*WordLists::fromYAML(kWordLists), referenceStore(),
                                        plainConverter());
    static const IngredientParser threshold(*WordLists::fromYAML(kWordLists), referenceStore(),
                                            thresholdConverter());
    return tables == Tables::Plain ? plain : threshold;
}

struct MergeCase {
    const char* row;
    const char* line;
    const char* ingredient;
    std::optional<std::string> merged;  // nothing: the lines stay two rows
    Tables tables = Tables::Plain;
};

std::ostream& operator<<(std::ostream& out, const MergeCase& c) {
    return out << "'" << c.row << "' + '" << c.line << "'";
}

class MergeTwoLines : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeTwoLines, GivesTheRowText) {
    const MergeCase& c = GetParam();
    EXPECT_EQ(parser(c.tables).consolidateItems(c.row, c.line, c.ingredient), c.merged);
}

const std::nullopt_t apart = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Amounts, MergeTwoLines,
    ::testing::Values(MergeCase{"1 cup milk", "1 cup milk", "milk", "2 cups milk"},
                      MergeCase{"3 cups flour", "1/2 cup flour", "flour", "3 1/2 cups flour"},
                      MergeCase{"2 eggs", "1 egg", "egg", "3 eggs"},
                      // Singular up to exactly one, for the unit and the ingredient alike.
                      MergeCase{"1/2 cup milk", "1/2 cup milk", "milk", "1 cup milk"},
                      MergeCase{"1/4 cup milk", "1/4 cup milk", "milk", "1/2 cup milk"},
                      MergeCase{"1/2 egg", "1/4 egg", "egg", "3/4 egg"},
                      // Preparations and notes are not part of the merged text.
                      MergeCase{"1 cup flour, sifted", "2 cups flour", "flour", "3 cups flour"},
                      MergeCase{"2 cups flour", "1 (12 ounce) cup flour", "flour", "3 cups flour"},
                      // An ingredient the reference store does not know is shown as given.
                      MergeCase{"1 cup oats", "1 cup oats", "oats", "2 cups oats"},
                      MergeCase{"1 cup milk", "1 cup", "", apart},
                      MergeCase{"2000000000 cups milk", "2000000000 cups milk", "milk", apart},
                      MergeCase{"1 cup milk", "milk", "milk", apart},
                      MergeCase{"milk", "1 cup milk", "milk", apart}));

INSTANTIATE_TEST_SUITE_P(
    Units, MergeTwoLines,
    ::testing::Values(
        MergeCase{"1 tablespoon butter", "1 cup butter", "butter", "17 tablespoons butter"},
        // Exact: the row is read again when the next line joins it.
        MergeCase{"1 tablespoon butter", "1 cup butter", "butter", "1 1/16 cups butter",
                  Tables::Threshold},
        MergeCase{"1 tablespoon butter", "2 tablespoons butter", "butter", "3 tablespoons butter",
                  Tables::Threshold},
        MergeCase{"4 tablespoons butter", "1 tablespoon butter", "butter", "5/16 cup butter",
                  Tables::Threshold},
        MergeCase{"1 cup butter", "4 tablespoons butter", "butter", "1 1/4 cups butter"},
        MergeCase{"2 ounces cheese", "1 pound cheese", "cheese", "18 ounces cheese"},
        // Two spellings of one unit add without converting; the row keeps its own.
        MergeCase{"1 cup milk", "2 c milk", "milk", "3 cups milk"},
        MergeCase{"1 c milk", "1 c milk", "milk", "2 c milk"},
        MergeCase{"2 cups flour", "1 pound flour", "flour", apart},
        MergeCase{"1 pinch salt", "1 cup salt", "salt", apart},
        MergeCase{"1 cup milk", "2 milk", "milk", apart},
        // Same group but no ratio: the pint cannot be added as if it were cups.
        MergeCase{"1 cup milk", "1 pint milk", "milk", apart},
        // Units the reference store does not know merge only when written alike.
        MergeCase{"1 sprig thyme", "1 sprigs thyme", "thyme", apart},
        MergeCase{"1 sprig thyme", "1 sprig thyme", "thyme", "2 sprig thyme"}));

// Amounts written as decimals stay decimals, fractions stay fractions; a fraction on either
// side makes the row a fraction.
INSTANTIATE_TEST_SUITE_P(
    Notation, MergeTwoLines,
    ::testing::Values(MergeCase{"0.5 cup butter", "0.25 cup butter", "butter", "0.75 cup butter"},
                      MergeCase{"1/4 cup butter", "1/8 cup butter", "butter", "3/8 cup butter"},
                      MergeCase{"0.25 cup butter", "1/8 cup butter", "butter", "3/8 cup butter"},
                      MergeCase{"1 cup butter", "0.5 cup butter", "butter", "1.5 cups butter"},
                      MergeCase{"1 cup butter", "1/2 cup butter", "butter", "1 1/2 cups butter"},
                      MergeCase{"half cup milk", "1 cup milk", "milk", "1 1/2 cups milk"},
                      MergeCase{"0.1 cup milk", "0.2 cup milk", "milk", "0.3 cup milk"},
                      // A sum without a short decimal falls back to its fraction.
                      MergeCase{"0.75 cup butter", "1.5 tablespoons butter", "butter",
                                "27/32 cup butter"}));

INSTANTIATE_TEST_SUITE_P(
    Ranges, MergeTwoLines,
    ::testing::Values(
        MergeCase{"1-2 cups stock", "1 cup stock", "stock", apart},
        MergeCase{"1 cup stock", "1-2 cups stock", "stock", apart},
        MergeCase{"1-2 cups stock", "2-3 cups stock", "stock", "3 - 5 cups stock"},
        MergeCase{"1 to 2 cups stock", "2-3 cups stock", "stock", "3 to 5 cups stock"},
        MergeCase{"1-2 cups stock", "8-16 tablespoons stock", "stock", "1 1/2 - 3 cups stock"},
        // A range stays in the unit it was written in.
        MergeCase{"2-3 tablespoons stock", "3-4 tablespoons stock", "stock",
                  "5 - 7 tablespoons stock", Tables::Threshold}));

INSTANTIATE_TEST_SUITE_P(
    SizesAndColours, MergeTwoLines,
    ::testing::Values(MergeCase{"2 large eggs", "2 eggs", "egg", apart},
                      MergeCase{"2 eggs", "2 large eggs", "egg", apart},
                      MergeCase{"2 large eggs", "1 small egg", "egg", apart},
                      MergeCase{"2 large eggs", "1 large egg", "egg", "3 large eggs"},
                      MergeCase{"1 red pepper", "1 green pepper", "pepper", apart},
                      MergeCase{"1 red pepper", "1 pepper", "pepper", apart},
                      MergeCase{"1 red pepper", "2 red peppers", "pepper", "3 red peppers"}));

INSTANTIATE_TEST_SUITE_P(
    WithoutAmounts, MergeTwoLines,
    ::testing::Values(MergeCase{"salt", "salt", "salt", "Salt"},
                      MergeCase{"salt", "salt to taste", "salt", "Salt"},
                      MergeCase{"pinch salt", "pinch salt", "salt", "Pinch Salt"},
                      MergeCase{"large egg", "large eggs", "egg", "Large Egg"},
                      MergeCase{"crème fraîche", "crème fraîche", "crème fraîche", "Crème Fraîche"},
                      MergeCase{"ÉPICES", "épices", "ÉPICES", "Épices"}));

// Each merged text is the row for the next line, so amounts keep adding up.
TEST(MergeLines, AccumulateIntoOneRow) {
    std::string row = "1 cup flour";
    for (const char* line : {"2 cups flour, sifted", "1/2 cup flour"}) {
        auto merged = parser(Tables::Plain).consolidateItems(row, line, "flour");
        ASSERT_TRUE(merged) << row << " + " << line;
        row = *merged;
    }
    EXPECT_EQ(row, "3 1/2 cups flour");
}

// A row printed rounded ("0.84 cups") was read back as 0.84, and every further line added
// its error; the exact text keeps the total exact however many lines join.
TEST(MergeLines, AccumulateExactly) {
    std::string row = "0.25 cup butter";
    for (const char* line : {"0.5 cup butter", "1.5 tablespoons butter", "4.5 tablespoons butter",
                             "1.5 tablespoons butter", "1.5 tablespoons butter"}) {
        auto merged = parser(Tables::Plain).consolidateItems(row, line, "butter");
        ASSERT_TRUE(merged) << row << " + " << line;
        row = *merged;
    }
    EXPECT_EQ(row, "1 5/16 cups butter");
}

// The shipped word lists, reference store and conversions, from the build tree.
TEST(MergeLines, ShippedDataMergesTheCommonCases) {
    if (!resourcePath("Ingredients.sqlite")) {
        GTEST_SKIP() << "no reference store in the build tree";
    }
    const IngredientParser& shared = IngredientParser::sharedParser();
    EXPECT_EQ(shared.consolidateItems("1 cup milk", "1 cup milk", "milk"), "2 cups milk");
    EXPECT_EQ(shared.consolidateItems("1 tablespoon butter", "1 cup butter", "butter"),
              "1 1/16 cups butter");
    // Abbreviations have no plural; a size word is no unit.
    EXPECT_EQ(shared.consolidateItems("1000 ml cream", "500 ml cream", "cream"), "1500 ml cream");
    EXPECT_EQ(shared.consolidateItems("1 tsp salt", "2 tsp salt", "salt"), "3 tsp salt");
    EXPECT_EQ(shared.consolidateItems("2-3 tbsp olive oil", "8-12 tbsp olive oil", "olive oil"),
              "10 - 15 tbsp olive oil");
    EXPECT_EQ(shared.consolidateItems("1 lbs beef", "1 lb beef", "beef"), "2 lbs beef");
    EXPECT_EQ(shared.consolidateItems("1/2 large onion", "1/2 large onion", "onion"),
              "1 large onion");
    EXPECT_EQ(shared.consolidateItems("1/2 cup sugar", "1/4 cup sugar", "sugar"), "3/4 cup sugar");
    EXPECT_EQ(shared.consolidateItems("2 eggs", "1 egg", "egg"), "3 eggs");
    EXPECT_EQ(shared.consolidateItems("salt", "salt", "salt"), "Salt");
    EXPECT_EQ(shared.consolidateItems("2 cups flour", "1 pound flour", "flour"), std::nullopt);
    EXPECT_EQ(shared.consolidateItems("1-2 cups stock", "2-3 cups stock", "stock"),
              "3 - 5 cups stock");
}

}  // namespace
}  // namespace miravel
