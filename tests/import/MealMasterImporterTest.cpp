#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/MealMasterImporter.h"
#include "import/MiravelWindowController.h"
#include "lib/AtomicFile.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

class MealMasterImporterTest : public LibraryTest {
protected:
    MiravelWindowController::ImportRun importText(const std::string& text) {
        return LibraryTest::importText("recipes.mmf", text);
    }
};

std::string header() {
    return "MMMMM----- Recipe via Meal-Master (tm) v8.02\n";
}

TEST(MealMasterLines, TitleAndValueAreTheTrimmedSidesOfTheFirstColon) {
    struct Case {
        std::string_view line, title, value;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"      Title: Pancakes", "Title", "Pancakes"},
             {" Categories: Soup: cold, Quick ", "Categories", "Soup: cold, Quick"},
             {"Yield:", "Yield", ""},
             {":value", "", "value"},
             {"no colon here", "", ""},
             {"", "", ""}}) {
        EXPECT_EQ(MealMasterImporter::lineTitle(c.line), c.title) << c.line;
        EXPECT_EQ(MealMasterImporter::lineValue(c.line), c.value) << c.line;
    }
}

TEST_F(MealMasterImporterTest, ReadsTitleYieldCategoriesIngredientsAndParagraphs) {
    auto run = importFile(kData / "pancakes.mmf");
    ASSERT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 1u);
    auto recipe = recipeNamed("Pancakes");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->servings(), "4 servings");
    EXPECT_EQ(recipe->ingredients(), "1 c Flour\n2 Eggs");
    // Wrapped lines join with a blank; the first paragraph keeps its blank before the break.
    EXPECT_EQ(recipe->directions(), "Mix well and bake. \n\nServe warm.");
    EXPECT_EQ(categoryNames(*recipe), (std::vector<std::string>{"Breakfast", "Quick"}));
    EXPECT_FALSE(recipe->prepTime());
    EXPECT_FALSE(recipe->difficulty());
    ASSERT_EQ(run.records.size(), 1u);
    EXPECT_EQ(run.records[0].line, 1u);
    EXPECT_TRUE(run.records[0].imported);
}

TEST_F(MealMasterImporterTest, TwoColumnsSplitInColumnOrderAndContinuationsJoinTheirIngredient) {
    auto run = importFile(kData / "two_columns.mmf");
    ASSERT_EQ(run.outcome.count, 1u);
    auto recipe = recipeNamed("Chiles Rellenos");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredients(),
              "2 Chiles; roast & peel\n"
              "1 1/3 oz Cheese, monterey jack\n"
              "Oil; for frying, at room temperature\n"
              "1 Egg; separated\n"
              "3/16 c Flour\n"
              "\n"
              "Tomato Sauce:\n"
              "1 sm Tomato; peeled, cut in quarters\n"
              "pn Salt optional");
    EXPECT_EQ(recipe->directions(), "Prepare the sauce; keep warm.");
}

TEST_F(MealMasterImporterTest, ContinuationsWithNothingToContinueStayLinesOfTheirOwn) {
    importText(header() +
               "      Title: Stray\n   Servings: 1\n\n           -John Doe-\n      1 c  Butter\n"
               "MMMMM-----MERINGUE-----\n           -and stirred\n"
               "    150 g  sugar and a very long description of it  with more\nMMMMM\n");
    auto recipe = recipeNamed("Stray");
    ASSERT_TRUE(recipe);
    // Not a two-column line: the text past column 41 is no ingredient column.
    EXPECT_EQ(recipe->ingredients(),
              "-John Doe-\n1 c Butter\n\nMeringue:\n-and stirred\n"
              "150 g sugar and a very long description of it with more");
}

TEST_F(MealMasterImporterTest, SectionLinesAndHeadersOfEveryWriterAreRecognised) {
    importText(
        "---------- Recipe via Meal-Master (tm) v7.04\n \n      Title: Old Style\n"
        "   Servings: 2\n \n      1 c  Rice\n"
        "------------------------------Dry Ingredients-------------------------------\n"
        "      2 ts Salt\n"
        "MMMMM--------------------------- section spaces ----------------------------\n"
        "      1    Egg\n"
        "MMMMM----------------------------section-hyphen-----------------------------\n"
        "MMMMM-----empty-----\n \n  Cook.\n-----\n"
        "----- Exported by Krecipes [Meal-Master Export Format] -----\n      Title: Krecipes\n"
        "-----\n");
    auto recipe = recipeNamed("Old Style");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredients(),
              "1 c Rice\n\nDry Ingredients:\n2 ts Salt\n\nSection Spaces:\n1 Egg\n\n"
              "Section-hyphen:\n\nEmpty:");
    EXPECT_EQ(recipe->directions(), "Cook.");
    EXPECT_TRUE(recipeNamed("Krecipes"));
    EXPECT_EQ(liveRecipes().size(), 2u);
}

TEST_F(MealMasterImporterTest, TextThatIsNoIngredientStartsTheDirections) {
    importText(header() +
               "      Title: No Ingredients\n      Yield: 1\n\nFirst part.\n       Start "
               "cooking.\n" +
               header() +
               "      Title: Numbers\n      Yield: 1\n\n2.5 apples are used.\n"
               "           butter\n  200.0 ml milk\n\n  Stir.\n" +
               header() +
               "      Title: Section Of Text\n      Yield: 1\n\n      1 c  Milk\n"
               "MMMMM-----TO SERVE-----\n  Pour the milk.\n");
    auto none = recipeNamed("No Ingredients");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->ingredients(), "");
    EXPECT_EQ(none->directions(), "First part. Start cooking.");
    // A line beginning with a number, and lines in MealMaster's columns, stay ingredients.
    auto numbers = recipeNamed("Numbers");
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->ingredients(), "2.5 apples are used.\nbutter\n200.0 ml milk");
    EXPECT_EQ(numbers->directions(), "Stir.");
    auto section = recipeNamed("Section Of Text");
    ASSERT_TRUE(section);
    EXPECT_EQ(section->ingredients(), "1 c Milk\n\nTo Serve:");
    EXPECT_EQ(section->directions(), "Pour the milk.");
}

TEST_F(MealMasterImporterTest, TheTildeRuleEndsTheIngredientsOnceThereAreSome) {
    importText(header() +
               "      Title: Tilde\n   Servings: 1\n~------------\n      1 c  Milk\n"
               "  ~------------\n  Heat the milk.\nMMMMM\n");
    auto recipe = recipeNamed("Tilde");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredients(), "~------------\n1 c Milk");
    EXPECT_EQ(recipe->directions(), "~------------ Heat the milk.");
}

TEST_F(MealMasterImporterTest, RecipesWithoutEndLinesAreKeptAndStrayLinesAreReported) {
    auto run = importFile(kData / "missing_end_lines.mmf");
    ASSERT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 3u);
    EXPECT_EQ(recipeNamed("First")->ingredients(), "1 c Rice");
    EXPECT_EQ(recipeNamed("Second")->directions(), "Soak.");
    EXPECT_EQ(recipeNamed("Third")->ingredients(), "3 c Corn");

    std::vector<std::tuple<std::size_t, std::string, bool>> seen;
    for (const ImportRecord& record : run.records) {
        seen.emplace_back(record.line, record.name, record.kind == ImportRecord::Kind::PassedOver);
    }
    EXPECT_EQ(seen, (std::vector<std::tuple<std::size_t, std::string, bool>>{
                        {1, "From: someone@example.com", true},
                        {2, "Subject: two recipes", true},
                        {4, "First", false},
                        {9, "Second", false},
                        {17, "Thanks!", true},
                        {18, "Third", false}}));
    EXPECT_EQ(run.records[2].reason, "no end line: the recipe ends where the next begins");
    EXPECT_EQ(run.records[5].reason, "no end line at the end of the file");
    EXPECT_EQ(recipesFound(run.records), 3u);
}

TEST_F(MealMasterImporterTest, Windows1252TextIsReadAndTheReportSaysSo) {
    auto run = importFile(kData / "windows1252.mmf");
    ASSERT_EQ(run.outcome.count, 1u);
    auto recipe = recipeNamed("Cr\u00e8me Br\u00fbl\u00e9e");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredients(), "2 c Cr\u00e8me fra\u00eeche");
    EXPECT_EQ(recipe->directions(), "Bake \u201cslowly\u201d.");
    ASSERT_FALSE(run.records.empty());
    EXPECT_EQ(run.records[0].kind, ImportRecord::Kind::FileNote);
    EXPECT_NE(run.records[0].reason.find("Windows-1252"), std::string::npos);
}

TEST_F(MealMasterImporterTest, ControlCharactersAreDroppedAndCounted) {
    auto run = importText(header() +
                          "      Title: Pan\x14"
                          "cakes\n   Servings: 8\n\n  First\x1a line.\nMMMMM\n");
    ASSERT_EQ(run.outcome.count, 1u);
    EXPECT_EQ(recipeNamed("Pancakes")->directions(), "First line.");
    EXPECT_EQ(run.records.back().kind, ImportRecord::Kind::FileNote);
    EXPECT_EQ(run.records.back().reason, "2 control characters removed");
}

TEST_F(MealMasterImporterTest, FilesWithoutRecipesImportNothingAndSucceed) {
    auto run = importText("---------- not a header\n      Title: Nothing\n");
    EXPECT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
    EXPECT_EQ(MiravelWindowController::importAlert(run.outcome).message,
              "Successfully imported 0 recipes.");
    run = importText("");
    EXPECT_EQ(run.outcome.count, 0u);
    EXPECT_TRUE(liveRecipes().empty());
    // A recipe without a title line comes in without a name.
    run = importText(header() + "      1 c  Water\nMMMMM\n");
    EXPECT_EQ(run.outcome.count, 1u);
    ASSERT_EQ(liveRecipes().size(), 1u);
    EXPECT_FALSE(liveRecipes()[0]->name());
    EXPECT_EQ(liveRecipes()[0]->ingredients(), "1 c Water");
}

TEST_F(MealMasterImporterTest, ALongFileReportsProgressAndStopsWhenCancelled) {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += header() + "      Title: R" + std::to_string(i) +
                "\n Categories: Soup\n   Servings: 1\n\n      1 c  Water\n\n  Boil.\nMMMMM\n";
    }
    const auto path = m_folder / "long.mmf";
    ASSERT_TRUE(writeFileAtomically(path, text));
    std::atomic<bool> cancel = false;
    std::vector<ImportProgress> seen;
    MiravelWindowController controller(*m_library);
    auto run = controller.performImport(
        path,
        [&](const ImportProgress& progress) {
            seen.push_back(progress);
            cancel = progress.bytesRead < progress.bytesTotal;
        },
        &cancel);
    ASSERT_FALSE(seen.empty());
    EXPECT_GT(seen[0].bytesRead, 0u);
    EXPECT_EQ(seen[0].bytesTotal, text.size());
    // Saves come every 100 ms; a machine quick enough to read the file in less saves once.
    if (run.outcome.cancelled) {
        EXPECT_LT(run.outcome.count, 2000u);
    } else {
        EXPECT_EQ(run.outcome.count, 2000u);
    }
    EXPECT_EQ(liveRecipes().size(), run.outcome.count) << "what was saved stays, nothing more";
    EXPECT_EQ(categories().size(), 1u);
}

}  // namespace
}  // namespace miravel
