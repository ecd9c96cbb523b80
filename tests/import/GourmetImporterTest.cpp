#include <gtest/gtest.h>

#include "import/GourmetImporter.h"
#include "import/PeerFormatTestSupport.h"

namespace miravel {
namespace {

using testing::PeerFormatTest;

class GourmetImporterTest : public PeerFormatTest {};

TEST_F(GourmetImporterTest, ReadsTheCorpusExport) {
    if (!haveCorpus()) {
        GTEST_SKIP() << "no corpus";
    }
    auto run = importPeerFile("gourmet__test_set.grmt", ".grmt");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 2u);

    auto rice = recipeNamed("Amazing rice");
    ASSERT_TRUE(rice);
    EXPECT_EQ(rice->ingredients(), "1 cup rice\n1 Amazing Sauce\n2 cups broth");
    // The escaped markup of the instructions is read as its text.
    EXPECT_EQ(rice->directions(), "Cook up the rice well.\n\nEnjoy!!!");
    EXPECT_EQ(rice->prepTime(), "40 minutes");
    EXPECT_EQ(rice->cookTime(), "25 minutes");
    EXPECT_EQ(rice->servings(), "6 servings");
    EXPECT_EQ(rice->rating(), 3);
    EXPECT_EQ(categoryNames(*rice), (std::vector<std::string>{"American", "Grain", "Side Dish"}));
    EXPECT_FALSE(rice->photo());

    auto sauce = recipeNamed("Amazing Sauce");
    ASSERT_TRUE(sauce);
    EXPECT_EQ(sauce->ingredients(),
              "veggies:\n1 cup tomatoes, diced\n3 whole jalapeño peppers\n1 cup onions, diced\n"
              "2 cups cheese\n\nliquids:\n2 Tbs. olive oil\n2 limes, juiced");
    EXPECT_EQ(sauce->source(), "Tom's imagination");
    EXPECT_EQ(sauce->sourceUrl(), "http://slashdot.org");
    EXPECT_EQ(sauce->cookTime(), "2 days");
    EXPECT_EQ(sauce->rating(), 4);
    EXPECT_EQ(sauce->notes(),
              "\"well\" should be italicized.\n\n\"Then\" should be in bold.\n\n\"enjoy\" should "
              "be underlined.");
    EXPECT_TRUE(sauce->photo());
    EXPECT_EQ(categoryNames(*sauce),
              (std::vector<std::string>{"Extra", "Salsa", "Sauce", "Southwestern"}));
    testing::expectReadBack("1 cup tomatoes, diced", "1", "cup");
    testing::expectReadBack("2 cups broth", "2", "cups");
}

TEST(GourmetRatings, StarsOnTheScaleOfFive) {
    EXPECT_EQ(GourmetImporter::parseRating("3/5 stars"), 3);
    EXPECT_EQ(GourmetImporter::parseRating("8/10 stars"), 4);
    EXPECT_EQ(GourmetImporter::parseRating("9/5 stars"), 5);
    EXPECT_EQ(GourmetImporter::parseRating("4"), 4);
    EXPECT_EQ(GourmetImporter::parseRating("3/0"), std::nullopt);
    EXPECT_EQ(GourmetImporter::parseRating("good"), std::nullopt);
}

TEST(MarkupText, DecodesEntitiesAndDropsTags) {
    EXPECT_EQ(textOfMarkup("Mix &lt;i&gt;well&lt;/i&gt; &amp;amp; bake"), "Mix well &amp; bake");
    EXPECT_EQ(textOfMarkup("at < 100 degrees > 5"), "at < 100 degrees > 5");
    EXPECT_EQ(textOfMarkup("open <b"), "open <b");
}

}  // namespace
}  // namespace miravel
