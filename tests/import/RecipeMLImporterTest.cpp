#include <gtest/gtest.h>

#include "import/PeerFormatTestSupport.h"
#include "import/RecipeMLImporter.h"

namespace miravel {
namespace {

using testing::PeerFormatTest;

class RecipeMLImporterTest : public PeerFormatTest {};

TEST_F(RecipeMLImporterTest, ReadsTheCorpusExportChosenByItsRoot) {
    if (!haveCorpus()) {
        GTEST_SKIP() << "no corpus";
    }
    // Saved as ".xml", the extension Yum files have too.
    auto run = importPeerFile("krecipes__recipemltest.txt", ".xml");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 2u);
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 2u);
    const auto& cookies = recipes.front();
    EXPECT_EQ(cookies->name(), "Cookies_Test");
    EXPECT_EQ(cookies->source(), "Colleen Beamer, Mona Beamer");
    EXPECT_EQ(cookies->servings(), "2-3 dozen");
    EXPECT_EQ(cookies->prepTime(), "30 minutes");
    EXPECT_EQ(cookies->ingredients(),
              "Dry Ingredients:\n0.75-1 c. granulated sugar\n1 c. brown sugar\n"
              "2 c. all-purpose flour\n1 tsp. baking soda\n\n"
              "Fat & Liquids:\n1 c. shortening, softened,at room temperature\n"
              "1 c. peanut butter\n2 eggs\n1 tsp. vanilla extract\n"
              "1 cup a, or 2 cups b, or 3 cups c");
    EXPECT_EQ(cookies->directions(),
              "Drop by spoonful on greased cookie sheet.  Bake in moderate oven.");
    EXPECT_EQ(categoryNames(*cookies), (std::vector<std::string>{"Cookies & Squares", "Snacks"}));
    testing::expectReadBack("2 c. all-purpose flour", "2", "c");
}

TEST_F(RecipeMLImporterTest, TimesTextDirectionsAndMenus) {
    auto run = importText("menu.xml", R"(<?xml version="1.0"?>
<recipeml version="0.5"><menu><recipe><head><title>Stew</title>
<yield><qty>4</qty></yield>
<preptime type="Preparation"><time><qty>20</qty><timeunit>minutes</timeunit></time></preptime>
<preptime type="Cooking"><time><qty>1</qty><timeunit>hours</timeunit></time>
<time><qty>15</qty><timeunit>minutes</timeunit></time></preptime></head>
<description>Hearty.</description>
<ingredients><ing><amt><qty>1 1/2</qty><unit>pounds</unit></amt><item>beef</item>
<prep>cubed</prep></ing><note>Salt to taste</note></ingredients>
<directions>Brown the beef &amp; simmer.</directions></recipe></menu></recipeml>)");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 1u);
    auto stew = recipeNamed("Stew");
    ASSERT_TRUE(stew);
    EXPECT_EQ(stew->servings(), "4");
    EXPECT_EQ(stew->prepTime(), "20 minutes");
    EXPECT_EQ(stew->cookTime(), "1 hours 15 minutes");
    EXPECT_EQ(stew->notes(), "Hearty.");
    EXPECT_EQ(stew->ingredients(), "1 1/2 pounds beef, cubed\nSalt to taste");
    EXPECT_EQ(stew->directions(), "Brown the beef & simmer.");
    testing::expectReadBack("1 1/2 pounds beef, cubed", "1.5", "pounds");
}

}  // namespace
}  // namespace miravel
