#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/XmlFileImporter.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

class YumImporterTest : public LibraryTest {};

TEST_F(YumImporterTest, ReadsTheRecipesOfTheFirstList) {
    auto run = importFile(kData / "yum_export.xml");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 2u);
    auto omelette = recipeNamed("Garden Omelette");
    ASSERT_TRUE(omelette);
    EXPECT_EQ(omelette->source(), "Sunday Paper");
    EXPECT_EQ(omelette->servings(), "2");
    EXPECT_EQ(omelette->directions(), "Beat the eggs.\n\nFold in the herbs & cook.");
    EXPECT_EQ(omelette->ingredients(), "3 eggs \n1 tbsp chives, chopped \nsalt \n");
    EXPECT_FALSE(omelette->difficulty());
    EXPECT_EQ(categoryNames(*omelette), (std::vector<std::string>{"Breakfast", "Eggs"}));
    auto creme = recipeNamed("Crème Brûlée");
    ASSERT_TRUE(creme);
    EXPECT_EQ(creme->ingredients(), "");
    EXPECT_FALSE(creme->directions());
}

TEST_F(YumImporterTest, AnotherRootIsNotRecognised) {
    for (const char* text : {"<Cookbook><RecipeList><Recipe><Name>x</Name></Recipe></RecipeList>"
                             "</Cookbook>",
                             "plain text", ""}) {
        auto run = importText("other.xml", text);
        ASSERT_TRUE(run.outcome.error) << text;
        EXPECT_EQ(run.outcome.error->description, "File not recognized.");
    }
    EXPECT_TRUE(liveRecipes().empty());
    // The right root without any recipe is an empty export.
    auto run = importText("empty.xml", "<YumExport><RecipeList/></YumExport>");
    EXPECT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
}

TEST(XmlRootName, PassesOverDeclarationsCommentsAndDocumentTypes) {
    EXPECT_EQ(xmlRootName("<?xml version=\"1.0\"?>\n<!-- a <b> -->\n<!DOCTYPE r>\n<recipeml "
                          "version=\"0.5\">"),
              "recipeml");
    EXPECT_EQ(xmlRootName("<YumExport/>"), "YumExport");
    EXPECT_EQ(xmlRootName("<!-- never closed <a>"), std::nullopt);
    EXPECT_EQ(xmlRootName("text < 3"), std::nullopt);
    EXPECT_EQ(xmlRootName("<"), std::nullopt);
}

}  // namespace
}  // namespace miravel
