#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/MacGourmetImporter.h"
#include "lib/Crypto.h"
#include "lib/JsonParser.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

JsonValue json(std::string_view text) {
    return JsonParser::parse(text).value();
}

// What the reading function makes of the JSON text's value.
template <typename Read>
auto readFrom(std::string_view text, Read read) {
    const JsonValue value = json(text);
    return read(&value);
}

class MacGourmetImporterTest : public LibraryTest,
                               public ::testing::WithParamInterface<const char*> {};

// The same recipes written as an XML and as a binary property list.
TEST_P(MacGourmetImporterTest, MapsEveryKeyOfTheRecipeDictionaries) {
    auto run = importFile(kData / GetParam());
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 3u);

    auto biscuits = recipeNamed("Layered Biscuits");
    ASSERT_TRUE(biscuits);
    EXPECT_EQ(biscuits->directions(), "Mix.\n\nBake.\n\n");
    EXPECT_EQ(biscuits->ingredients(), "2 cups flour sifted \n\nTopping:\n1 tbsp sugar ");
    EXPECT_EQ(biscuits->difficulty(), "Medium");
    EXPECT_EQ(biscuits->servings(), "6");
    EXPECT_EQ(biscuits->prepTime(), "1 hours 30 minutes");
    EXPECT_EQ(biscuits->cookTime(), "20 minutes");
    EXPECT_EQ(biscuits->source(), "Aunt May");
    EXPECT_EQ(biscuits->sourceUrl(), "http://example.org/biscuits");
    EXPECT_EQ(biscuits->notes(), "Best warm.");
    EXPECT_EQ(biscuits->nutritionalInfo(), "200 kcal");
    EXPECT_TRUE(biscuits->photo());
    EXPECT_EQ(categoryNames(*biscuits), (std::vector<std::string>{"Baking", "Breads"}));

    auto salad = recipeNamed("Tree Salad");
    ASSERT_TRUE(salad);
    EXPECT_EQ(salad->directions(), "Toss everything.");
    // An empty ingredient list falls back to the tree; a heading keeps its one colon.
    EXPECT_EQ(salad->ingredients(), "Dressing:\n3 tbsp olive oil ");
    EXPECT_EQ(salad->difficulty(), "Hard");
    EXPECT_EQ(salad->servings(), "2.5");
    EXPECT_EQ(salad->prepTime(), "");
    // A second amount of an unknown unit is left out.
    EXPECT_EQ(salad->cookTime(), "1 days");
    // The hexadecimal text with blanks is the same picture as the data.
    ASSERT_TRUE(salad->photo());
    EXPECT_EQ(salad->photoHash(), biscuits->photoHash());

    auto water = recipeNamed("Plain Water");
    ASSERT_TRUE(water);
    EXPECT_FALSE(water->photo());
    EXPECT_EQ(water->difficulty(), "Easy");
    EXPECT_FALSE(water->servings());
}

INSTANTIATE_TEST_SUITE_P(BothForms, MacGourmetImporterTest,
                         ::testing::Values("macgourmet_xml.mgourmet",
                                           "macgourmet_binary.mgourmet"));

TEST(MacGourmetValues, TimesDifficultiesAndHexadecimal) {
    EXPECT_EQ(readFrom(R"([{"TIME_TYPE_ID": 8, "AMOUNT": 1,
        "TIME_UNIT_ID": 1, "AMOUNT_2": 30, "TIME_UNIT_2_ID": 2}])",
                       MacGourmetImporter::parseCookTime),
              "");
    // Two matching records run together, and units stay plural.
    EXPECT_EQ(readFrom(R"([
        {"TIME_TYPE_ID": 9, "AMOUNT": 1, "TIME_UNIT_ID": 1},
        {"TIME_TYPE_ID": 8, "AMOUNT": 0, "TIME_UNIT_ID": 2, "AMOUNT_2": 5, "TIME_UNIT_2_ID": 2}])",
                       MacGourmetImporter::parsePrepTime),
              "1 hours 5 minutes");
    EXPECT_EQ(readFrom(R"({"TIME_TYPE_ID": 8})", MacGourmetImporter::parsePrepTime), "");
    for (auto [value, word] :
         std::initializer_list<std::pair<const char*, const char*>>{{"-3", "Easy"},
                                                                    {"2", "Easy"},
                                                                    {"3", "Medium"},
                                                                    {"4", "Medium"},
                                                                    {"5", "Hard"},
                                                                    {"\"4\"", "Medium"},
                                                                    {"null", "Easy"}}) {
        const JsonValue number = json(value);
        EXPECT_EQ(MacGourmetImporter::parseDifficulty(&number), word) << value;
    }
    EXPECT_EQ(decodeHexadecimal("47 49 46"), "GIF");
    EXPECT_EQ(decodeHexadecimal("4g7"), std::string("\x04", 1));
    EXPECT_EQ(decodeHexadecimal("zz41"), std::string("\0A", 2));
}

TEST(MacGourmetValues, RecordsOfTheWrongShapeAreReadAsEmpty) {
    // A group without its array, a divider that is no dictionary, records that are texts.
    EXPECT_EQ(readFrom(R"([
        {"DIVIDER_INGREDIENT": "x"}, "flour", {"QUANTITY": 3, "DESCRIPTION": "eggs"}])",
                       MacGourmetImporter::parseIngredients),
              ":\n\n3 eggs ");
    EXPECT_EQ(readFrom(R"(["text", {"DIRECTION_TEXT": 4}])", MacGourmetImporter::parseDirections),
              "\n\n4\n\n");
    EXPECT_EQ(readFrom(R"({"NAME": "x"})", MacGourmetImporter::parseCategories),
              std::vector<std::string>{});
}

class MacGourmetFileTest : public LibraryTest {};

TEST_F(MacGourmetFileTest, FilesThatHoldNoRecipesFailWithTheirReason) {
    auto run = importText("notes.mgourmet3", "just some text");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "Unable to parse this file.");

    run = importText("dictionary.mgourmet",
                     "<?xml version=\"1.0\"?><plist><dict><key>NAME</key><string>x</string>"
                     "</dict></plist>");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "There was a problem importing this file.");

    // Texts where recipes should be: nothing is imported, and that is no success.
    run = importText("texts.MGOURMET",
                     "<?xml version=\"1.0\"?><plist><array><string>a</string><integer>2"
                     "</integer></array></plist>");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
    EXPECT_TRUE(liveRecipes().empty());

    // A picture that claims 65535 pixels a side is refused before anything is decoded; the
    // recipe comes in without it.
    const std::string hugeGif(
        "GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00,\x00\x00\x00\x00"
        "\xFF\xFF\xFF\xFF\x00\x02\x02\x44\x01\x00;",
        30);
    run = importText("huge.mgourmet",
                     "<?xml version=\"1.0\"?><plist><array><dict><key>NAME</key><string>Huge"
                     "</string><key>IMAGE</key><data>" +
                         base64Encode(hugeGif) + "</data></dict></array></plist>");
    ASSERT_FALSE(run.outcome.error);
    auto huge = recipeNamed("Huge");
    ASSERT_TRUE(huge);
    EXPECT_FALSE(huge->photo());

    // An empty array is an empty export.
    run = importText("empty.mgourmet", "<?xml version=\"1.0\"?><plist><array/></plist>");
    EXPECT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
}

}  // namespace
}  // namespace miravel
