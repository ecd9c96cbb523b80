#include <gtest/gtest.h>

#include "import/KRecipesImporter.h"
#include "import/PeerFormatTestSupport.h"

namespace miravel {
namespace {

using testing::PeerFormatTest;

class KRecipesImporterTest : public PeerFormatTest {};

TEST_F(KRecipesImporterTest, ReadsTheCorpusSample) {
    if (!haveCorpus()) {
        GTEST_SKIP() << "no corpus";
    }
    auto run = importPeerFile("gourmet__sample.kreml", ".kreml");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 1u);
    auto recipe = recipeNamed("Recipe title");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->source(), "Unai Garro, Jason Kivlighn");
    EXPECT_EQ(recipe->servings(), "5");
    EXPECT_EQ(recipe->prepTime(), "1 hr 30 min");
    EXPECT_EQ(recipe->ingredients(),
              "2 cups flour\n\nfilling:\n2 cans cherry pie filling\n"
              "1 cup some other filling, some prep method\n2 eggs");
    EXPECT_EQ(recipe->directions(), "Write the recipe instructions here");
    EXPECT_TRUE(recipe->photo());
    EXPECT_EQ(categoryNames(*recipe), (std::vector<std::string>{"Cakes", "Ethnic"}));
}

TEST_F(KRecipesImporterTest, ReadsRangesSubstitutesAndRatingsOfTheExport) {
    if (!haveCorpus()) {
        GTEST_SKIP() << "no corpus";
    }
    // KRecipes' own export, stored in the corpus as text.
    auto run = importPeerFile("krecipes__kretest.txt", ".kre");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 2u);
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 2u);
    const auto& cookies = recipes.front();
    EXPECT_EQ(cookies->name(), "Cookies_Test");
    EXPECT_EQ(cookies->source(), "Colleen Beamer, Mona Beamer");
    EXPECT_EQ(cookies->servings(), "2-3 dozen");
    EXPECT_EQ(cookies->prepTime(), "30 min");
    EXPECT_EQ(cookies->ingredients(),
              "Dry Ingredients:\n0.75-1 c. granulated sugar\n1 c. brown sugar\n"
              "2 c. all-purpose flour\n1 tsp. baking soda\n\n"
              "Fat & Liquids:\n1 c. shortening, softened,at room temperature\n"
              "1 c. peanut butter\n2 eggs\n1 tsp. vanilla extract\n"
              "1 cup a, or 2 cups b, or 3 cups c");
    EXPECT_EQ(cookies->directions(),
              "Drop by spoonful on greased cookie sheet.  Bake in moderate oven.");
    EXPECT_EQ(cookies->notes(), "George McFry: Good enough\n\nMe: Yuck, don't eat!");
    EXPECT_TRUE(cookies->photo());
    EXPECT_EQ(categoryNames(*cookies), (std::vector<std::string>{"Cookies & Squares", "Snacks"}));
    // The parser reads the abbreviation without its full stop.
    testing::expectReadBack("1 c. brown sugar", "1", "c");
    const auto range =
        IngredientParser::sharedParser().extractIngredientInformation("0.75-1 c. granulated sugar");
    ASSERT_TRUE(range.quantity);
    EXPECT_EQ(*range.quantity, readDecimal("0.75").value());
    EXPECT_EQ(range.quantityRange, readDecimal("1").value());
}

TEST_F(KRecipesImporterTest, OtherFilesAreNotRecognised) {
    auto run = importText("other.kreml", "<recipeml><recipe/></recipeml>");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "File not recognized.");
    EXPECT_EQ(KRecipesImporter::parsePrepTime("00:00"), "0 min");
    EXPECT_EQ(KRecipesImporter::parsePrepTime("2:00"), "2 hr");
    EXPECT_EQ(KRecipesImporter::parsePrepTime("about an hour"), "about an hour");
}

}  // namespace
}  // namespace miravel
