#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/MiravelWindowController.h"
#include "import/YamlImporter.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"

namespace miravel {
namespace {

using testing::LibraryTest;

class YamlImporterTest : public LibraryTest {};

TEST_F(YamlImporterTest, ReadsOneRecipeAListOrSeveralDocuments) {
    auto run = importText("one.yml",
                          "name: Pancakes\nrating: 4\ningredients: |\n  1 cup flour\n  1 egg\n"
                          "  1 cup milk\ncategories:\n  - Breakfast\n  - \" Sweet \"\n");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 1u);
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0]->ingredients(), "1 cup flour\n1 egg\n1 cup milk\n");
    EXPECT_EQ(recipes[0]->rating(), 4);
    EXPECT_EQ(recipes[0]->categories().size(), 2u);

    run = importText("list.yml", "- name: A\n- name: B\n- just text\n");
    EXPECT_EQ(run.outcome.count, 2u);
    run = importText("docs.YML", "name: C\n---\nname: D\n---\nplain scalar\n");
    EXPECT_EQ(run.outcome.count, 2u);
    EXPECT_FALSE(run.outcome.error);
    run = importText("empty.yml", "");
    EXPECT_EQ(MiravelWindowController::importAlert(run.outcome).message,
              "Successfully imported 0 recipes.");
    EXPECT_EQ(liveRecipes().size(), 5u);
}

TEST_F(YamlImporterTest, ConvertsRatingsAndFavouritesFromText) {
    EXPECT_EQ(leadingInteger("3 stars"), 3);
    EXPECT_EQ(leadingInteger(" +2"), 2);
    EXPECT_EQ(leadingInteger("many"), 0);
    EXPECT_EQ(leadingInteger(""), 0);
    for (const char* yes : {"yes", "true", "1", "Y", " +007"}) {
        EXPECT_TRUE(leadingBoolean(yes)) << yes;
    }
    for (const char* no : {"no", "false", "0", "", "000"}) {
        EXPECT_FALSE(leadingBoolean(no)) << no;
    }
    importText("fav.yml",
               "- name: A\n  on_favorites: yes\n- name: B\n  on_favorites: 0\n- name: C\n");
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 3u);
    EXPECT_EQ(recipes[0]->onFavorites(), true);
    EXPECT_EQ(recipes[1]->onFavorites(), false);
    EXPECT_EQ(recipes[2]->onFavorites(), false);
}

TEST_F(YamlImporterTest, FailsClearlyOnBadYamlAndBadCategories) {
    auto run = importText("bad.yml", "name: [unclosed\n");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "Unable to parse this file.\n\nParse error");
    EXPECT_TRUE(liveRecipes().empty());

    run = importText("cats.yml", "- name: Kept\n- name: Odd\n  categories: Soup\n- name: Never\n");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "There was a problem importing this file.");
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 1u) << "recipes before the bad one stay";
    EXPECT_EQ(recipes[0]->name(), "Kept");
}

TEST_F(YamlImporterTest, TakesAPhotoFromBase64) {
    const std::string photo = base64Encode(testing::jpegOfSize(500, 300));
    std::string wrapped;
    for (std::size_t i = 0; i < photo.size(); i += 60) {
        wrapped += "  " + photo.substr(i, 60) + "\n";
    }
    importText("photo.yml", "name: Pic\nphoto: |\n" + wrapped);
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 1u);
    ASSERT_TRUE(recipes[0]->photoPath());
    auto image = decodeImage(readFile(*recipes[0]->photoPath()).value());
    EXPECT_EQ(image->width, 280);
    EXPECT_EQ(image->height, 280);
}

TEST_F(YamlImporterTest, ReadsMarkdownWithFrontMatter) {
    std::filesystem::create_directories(m_folder / "images");
    ASSERT_TRUE(
        writeFileAtomically(m_folder / "images" / "soup.jpg", testing::jpegOfSize(100, 80)));
    auto run = importText("soup.md",
                          "---\nlayout: recipe\ntitle: \"Leek soup\"\nimage: ../../soup.jpg\n"
                          "tags: soup, winter\nyield: 4\ningredients:\n- 2 leeks\n- 1 l stock\n"
                          "directions:\n- Chop.\n- Simmer.\n---\n\nA *warming* soup.\n");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0]->name(), "Leek soup");
    EXPECT_EQ(recipes[0]->ingredients(), "2 leeks\n1 l stock");
    EXPECT_EQ(recipes[0]->directions(), "Chop.\nSimmer.");
    EXPECT_EQ(recipes[0]->servings(), "4");
    EXPECT_EQ(recipes[0]->notes(), "A *warming* soup.");
    EXPECT_EQ(recipes[0]->categories().size(), 2u);
    EXPECT_TRUE(recipes[0]->photoPath()) << "found beside the file by its last name only";

    run = importText("latin1.md",
                     "---\ntitle: Cr\xe8me\n---\nCr\xe8me br\xfbl\xe9"
                     "e\n");
    ASSERT_TRUE(run.outcome.error) << "the front matter itself must be UTF-8";
    run = importText("body.md", "---\ntitle: Custard\n---\nCr\xe8me\n");
    ASSERT_FALSE(run.outcome.error);
    ASSERT_EQ(run.records.size(), 1u);
    EXPECT_EQ(run.records[0].reason, "1 bytes of the notes were not UTF-8 and were replaced");
    EXPECT_EQ(liveRecipes()[0]->notes(), "Cr\uFFFDme");

    run = importText("plain.md", "# Just notes\n");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(liveRecipes().size(), 2u);
}

// The Markdown recipes of a real static recipe site, where the shared corpus is present.
TEST_F(YamlImporterTest, ImportsEveryFrontMatterFileOfTheCorpus) {
    const std::filesystem::path folder =
        std::filesystem::path(MIRAVEL_CORPUS) / "recipefiles" / "yaml-frontmatter";
    if (!std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "no corpus at " << folder;
    }
    std::size_t files = 0;
    MiravelWindowController controller(*m_library);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".md") {
            continue;
        }
        ++files;
        auto run = controller.performImport(entry.path());
        EXPECT_FALSE(run.outcome.error) << entry.path() << ": " << run.outcome.error->description;
        EXPECT_EQ(run.outcome.count, 1u) << entry.path();
    }
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), files);
    for (const auto& recipe : recipes) {
        EXPECT_TRUE(recipe->name() && !recipe->name()->empty());
        EXPECT_TRUE(recipe->ingredients() && !recipe->ingredients()->empty()) << *recipe->name();
    }
}

}  // namespace
}  // namespace miravel
