#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/YummySoupImporter.h"
#include "lib/PropertyList.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

class YummySoupImporterTest : public LibraryTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(YummySoupImporterTest, MapsEveryKeyOfTheRecipeDictionaries) {
    auto run = importFile(kData / GetParam());
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 2u);

    auto soup = recipeNamed("Soup of the Day");
    ASSERT_TRUE(soup);
    EXPECT_EQ(soup->source(), "Grandma");
    EXPECT_EQ(soup->sourceUrl(), "http://example.org/soup");
    EXPECT_EQ(soup->servings(), "4 bowls");
    EXPECT_EQ(soup->prepTime(), "15 min");
    EXPECT_EQ(soup->cookTime(), "1 hr");
    EXPECT_EQ(soup->rating(), 4);
    EXPECT_EQ(soup->notes(), "Freezes well.");
    EXPECT_EQ(soup->difficulty(), "Easy");
    // Each tag a blank, the marker gone, an entity and an unclosed tag as written.
    EXPECT_EQ(soup->directions(), " Chop.  Simmer & serve <b");
    // A record too short to read is an empty line; so is a bare text.
    EXPECT_EQ(soup->ingredients(), "2 cups flour \n1 onion , chopped \n\n\n");
    EXPECT_TRUE(soup->photo());
    EXPECT_EQ(categoryNames(*soup), (std::vector<std::string>{"Soups", "Winter"}));

    auto second = recipeNamed("Second Picture");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->difficulty(), "Medium");
    // The older text syntax of the ingredient records.
    EXPECT_EQ(second->ingredients(), "1 cup rice \n");
    // "firstImage" wins over "image1", which here is no picture.
    EXPECT_TRUE(second->photo());
    EXPECT_FALSE(second->directions());
}

INSTANTIATE_TEST_SUITE_P(BothForms, YummySoupImporterTest,
                         ::testing::Values("yummysoup_xml.ysr", "yummysoup_binary.ysr"));

TEST(YummySoupValues, DifficultiesAndHtml) {
    for (auto [value, word] : std::initializer_list<std::pair<std::int64_t, const char*>>{
             {-1, "Easy"}, {1, "Easy"}, {2, "Medium"}, {3, "Hard"}, {4, "Easy"}, {9, "Easy"}}) {
        const JsonValue number(value);
        EXPECT_EQ(YummySoupImporter::parseDifficulty(&number), word) << value;
    }
    EXPECT_EQ(YummySoupImporter::parseDifficulty(nullptr), "Easy");
    EXPECT_EQ(YummySoupImporter::flattenHTML("a<p>b</p><p>c"), "a b  c");
    EXPECT_EQ(YummySoupImporter::flattenHTML("<<b>>x<>"), " >x ");
    EXPECT_EQ(YummySoupImporter::parseDirections("ThirdImage<br>FifthImageFourthImage"), " ");
    // A long text of many tags flattens in one pass.
    std::string many;
    for (int i = 0; i < 200000; ++i) {
        many += "<t" + std::to_string(i) + ">";
    }
    EXPECT_EQ(YummySoupImporter::flattenHTML(many), std::string(200000, ' '));
}

TEST(YummySoupValues, IngredientRecordsInTheOlderTextSyntax) {
    const JsonValue text(std::string(
        "( {quantity = 2; measurement = \"cups\"; name = \"brown sugar\"; method = packed;},"
        " (\"1\", \"\", \"egg\", extra), /* a comment */ (\"a\", \"b\"), )"));
    EXPECT_EQ(YummySoupImporter::parseIngredients(&text),
              "2 cups brown sugar , packed \n1 egg \n\n");
    const JsonValue broken(std::string("( \"unterminated"));
    EXPECT_EQ(YummySoupImporter::parseIngredients(&broken), "");
    EXPECT_EQ(YummySoupImporter::parseIngredients(nullptr), "");
    std::string deep(300, '(');
    EXPECT_FALSE(readTextPropertyList(deep + std::string(300, ')')));
    EXPECT_EQ(readTextPropertyList("{a = \"x\\\"y\";}")->member("a")->asString(), "x\"y");
}

}  // namespace
}  // namespace miravel
