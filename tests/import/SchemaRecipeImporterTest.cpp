#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/ZipArchive.h"

namespace miravel {
namespace {

using testing::LibraryTest;

class SchemaRecipeImporterTest : public LibraryTest {
protected:
    static std::string picture() {
        Image image = Image::blank(20, 10);
        std::fill(image.pixels.begin(), image.pixels.end(), 200);
        return *encodeJpeg(image);
    }
};

const char* const kCookbookRecipe = R"({
  "@context": "http://schema.org", "@type": "Recipe", "name": "Apple Crumble",
  "url": "https://www.bakery.example/crumble", "image": "full.jpg",
  "recipeCategory": "Desserts, Baking", "recipeYield": 6, "prepTime": "PT20M",
  "cookTime": "PT45M", "description": "Grandma's.",
  "recipeIngredient": ["4 apples", "1 cup oats"],
  "recipeInstructions": [{"@type": "HowToStep", "text": "Slice the apples."},
                         {"@type": "HowToStep", "text": "Bake."}],
  "nutrition": {"@type": "NutritionInformation", "calories": "300 kcal"}})";

TEST_F(SchemaRecipeImporterTest, ReadsARecipeFileWithThePictureBesideIt) {
    const auto folder = m_folder / "Apple Crumble";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(writeFileAtomically(folder / "recipe.json", kCookbookRecipe));
    ASSERT_TRUE(writeFileAtomically(folder / "full.jpg", picture()));
    ASSERT_TRUE(writeFileAtomically(folder / "thumb.jpg", picture()));
    auto run = importFile(folder / "recipe.json");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 1u);
    auto recipe = recipeNamed("Apple Crumble");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredients(), "4 apples\n1 cup oats");
    EXPECT_EQ(recipe->directions(), "Slice the apples.\nBake.");
    EXPECT_EQ(recipe->servings(), "6");
    EXPECT_EQ(recipe->prepTime(), "20 min");
    EXPECT_EQ(recipe->cookTime(), "45 min");
    EXPECT_EQ(recipe->notes(), "Grandma's.");
    EXPECT_EQ(recipe->nutritionalInfo(), "Calories: 300 kcal");
    EXPECT_EQ(recipe->sourceUrl(), "https://www.bakery.example/crumble");
    EXPECT_EQ(recipe->source(), "Bakery.example");
    EXPECT_FALSE(recipe->imageUrl());
    EXPECT_TRUE(recipe->photo());
    EXPECT_EQ(categoryNames(*recipe), (std::vector<std::string>{"Baking", "Desserts"}));
}

TEST_F(SchemaRecipeImporterTest, AStrayPictureInTheFolderIsNoPhoto) {
    ASSERT_TRUE(writeFileAtomically(m_folder / "holiday.jpg", picture()));
    auto run =
        importText("export.json",
                   R"({"@graph":[{"@type":"Recipe","name":"A","image":"https://x.example/a.jpg"},
                              {"@type":"Recipe","name":"B"},{"@type":"Recipe"}]})");
    ASSERT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 2u);
    EXPECT_FALSE(recipeNamed("A")->photo());
    EXPECT_EQ(recipeNamed("A")->imageUrl(), "https://x.example/a.jpg");
    EXPECT_FALSE(recipeNamed("B")->photo());
}

TEST_F(SchemaRecipeImporterTest, RefusesTextThatIsNoJson) {
    auto run = importText("notes.json", "Buy apples");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
    EXPECT_TRUE(liveRecipes().empty());
    run = importText("other.json", R"({"@type":"Person","name":"Jane"})");
    EXPECT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
}

TEST_F(SchemaRecipeImporterTest, ReadsAnArchiveOfRecipeFoldersWithTheirPictures) {
    const auto archivePath = m_folder / "export.zip";
    auto writer = ZipWriter::create(archivePath);
    ASSERT_TRUE(writer);
    const Timestamp now =
        std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
    ASSERT_TRUE(writer->add("Apple Crumble/recipe.json", kCookbookRecipe, now));
    ASSERT_TRUE(writer->add("Apple Crumble/full.jpg", picture(), now));
    ASSERT_TRUE(writer->add("recipes/soup/soup.json",
                            R"({"@type":"Recipe","name":"Soup","image":"soup.webp",
                                "recipeIngredient":["water"]})",
                            now));
    ASSERT_TRUE(writer->add("recipes/soup/images/other.jpg", picture(), now));
    ASSERT_TRUE(writer->add("loose.json", R"([{"@type":"Recipe","name":"Loose"}])", now));
    ASSERT_TRUE(writer->add("broken.json", "{", now));
    ASSERT_TRUE(writer->add("top.jpg", picture(), now));
    ASSERT_TRUE(writer->commit());
    auto run = importFile(archivePath);
    EXPECT_EQ(run.outcome.count, 3u);
    EXPECT_TRUE(recipeNamed("Apple Crumble")->photo());
    // Its own folder, though the picture it names is not there.
    EXPECT_TRUE(recipeNamed("Soup")->photo());
    // The archive's top is no recipe's own folder.
    EXPECT_FALSE(recipeNamed("Loose")->photo());
}

}  // namespace
}  // namespace miravel
