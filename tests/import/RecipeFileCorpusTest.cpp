#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "import/ImportTestSupport.h"
#include "import/MiravelWindowController.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kRecipeFiles = std::filesystem::path(MIRAVEL_CORPUS) / "recipefiles";

class RecipeFileCorpusTest : public LibraryTest {
protected:
    struct Imported {
        std::size_t found = 0;
        std::size_t imported = 0;
        std::size_t ingredientLines = 0;
        std::vector<ImportRecord> records;
        std::vector<std::shared_ptr<Recipe>> recipes;  // in file order
    };
    Imported importCorpusFile(const std::string& folder, const std::string& file) {
        openLibrary(folder + "-" + file);
        // A MealMaster export saved as ".txt" is imported under the extension it would be
        // chosen by.
        std::filesystem::path path = kRecipeFiles / folder / file;
        if (path.extension() == ".txt") {
            const auto copy = m_folder / path.filename().replace_extension(".mmf");
            std::filesystem::copy_file(path, copy,
                                       std::filesystem::copy_options::overwrite_existing);
            path = copy;
        }
        auto run = importFile(path);
        EXPECT_FALSE(run.outcome.error) << file;
        Imported imported{recipesFound(run.records), run.outcome.count, 0, run.records, {}};
        auto recipes = main().fetch<Recipe>(livePredicate(), {SortDescriptor("created")});
        if (recipes) {
            imported.recipes = *recipes;
        }
        for (const auto& recipe : imported.recipes) {
            const std::string text = recipe->ingredients().value_or("");
            std::size_t start = 0;
            while (start < text.size()) {
                auto end = std::min(text.find('\n', start), text.size());
                if (end > start) {
                    ++imported.ingredientLines;
                }
                start = end + 1;
            }
        }
        return imported;
    }
    void SetUp() override {
        if (!std::filesystem::is_directory(kRecipeFiles)) {
            GTEST_SKIP() << "no corpus at " << kRecipeFiles;
        }
        LibraryTest::SetUp();
    }
};

// What each file of the corpus gives: recipes found and imported, non-empty ingredient lines
// (section headings included), lines or elements passed over, a title, exact ingredient lines
// some recipe of the file holds, and a piece of some recipe's directions. The AnyMeal files
// each test one quirk of the format, named by the file.
struct CorpusFile {
    std::string file;
    std::size_t found;
    std::size_t imported;
    std::size_t ingredientLines;
    std::size_t passedOver;
    std::string title;
    std::vector<std::string> ingredientLinesHeld;
    std::string directionsPiece;
};

const std::vector<CorpusFile>& corpusFiles() {
    static const std::vector<CorpusFile> files = {
        {"mealmaster/anymeal__append_to_line.mmf",
         1,
         1,
         0,
         0,
         "cooked apple",
         {},
         "First part. Second part."},
        {"mealmaster/anymeal__continuation_whitespace.mmf",
         1,
         1,
         1,
         0,
         "apple pie",
         {"2.5 g butter; molten and stirred"},
         ""},
        {"mealmaster/anymeal__discard_two_spaces.mmf",
         1,
         1,
         0,
         0,
         "apple pie",
         {},
         "Only discard two leading spaces."},
        {"mealmaster/anymeal__empty_ingredient_section.mmf",
         1,
         1,
         4,
         0,
         "apple pie",
         {"250 g brown flour", "Empty:", "Meringue:", "150 g sugar"},
         ""},
        {"mealmaster/anymeal__erroneous_continuation.mmf",
         1,
         1,
         3,
         0,
         "apple pie",
         {"2.5 g butter; molten"},
         ""},
        {"mealmaster/anymeal__float_crlf.mmf",
         1,
         1,
         0,
         0,
         "apple pie",
         {},
         "Posted on Apr 27, 1998."},
        {"mealmaster/anymeal__force_newline.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__header.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__header2.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__ignore_0x14.mmf",
         1,
         1,
         0,
         0,
         "Nora Mill Whole Wheat Pancakes",
         {},
         "First line."},
        {"mealmaster/anymeal__ignore_newlines.mmf", 1, 1, 1, 0, "apple pie", {"Section:"}, ""},
        {"mealmaster/anymeal__ingredient.mmf", 1, 1, 1, 0, "apple pie", {"250 g brown flour"}, ""},
        {"mealmaster/anymeal__ingredient_section.mmf",
         1,
         1,
         3,
         0,
         "apple pie",
         {"250 g brown flour"},
         ""},
        {"mealmaster/anymeal__instruction_eol.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__instruction_eol2.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__instruction_eol4.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__instruction_header.mmf", 1, 1, 2, 0, "apple pie", {"Ingredient"}, ""},
        {"mealmaster/anymeal__instruction_number.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__instructions2.mmf",
         1,
         1,
         1,
         0,
         "cooked apple",
         {"1 cook is used."},
         ""},
        {"mealmaster/anymeal__instructions3.mmf", 1, 1, 0, 0, "cooked apple", {}, "Start cooking."},
        {"mealmaster/anymeal__instructions4.mmf",
         1,
         1,
         1,
         0,
         "cooked apple",
         {"2.5 apples are used."},
         ""},
        {"mealmaster/anymeal__instructions5.mmf", 1, 1, 1, 0, "cooked apple", {"-"}, ""},
        {"mealmaster/anymeal__instructions8.mmf", 1, 1, 1, 0, "cooked apple", {"1/2 apples."}, ""},
        {"mealmaster/anymeal__instructions9.mmf",
         1,
         1,
         1,
         0,
         "cooked apple",
         {"1 2/x apples."},
         ""},
        {"mealmaster/anymeal__mixed.mmf", 1, 1, 1, 0, "apple pie", {"1 2/3 g fat"}, ""},
        {"mealmaster/anymeal__no_servings.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__noamount.mmf", 1, 1, 1, 0, "apple pie", {"butter"}, ""},
        {"mealmaster/anymeal__overlong_ingredient.mmf",
         1,
         1,
         1,
         0,
         "Carrot Cake",
         {"100 2/3 ts abcdefghijklmnopqrstuvwxyzabc defghijk"},
         ""},
        {"mealmaster/anymeal__overlong_ingredient2.mmf",
         1,
         1,
         1,
         0,
         "Carrot Cake",
         {"100 2/3 ts abcdefghijklmnopqrstuvwxyzabcdefghijk"},
         ""},
        {"mealmaster/anymeal__replace_0x9.mmf",
         1,
         1,
         0,
         0,
         "Nora Mill Whole Wheat Pancakes",
         {},
         ""},
        {"mealmaster/anymeal__section_hyphen.mmf",
         1,
         1,
         3,
         0,
         "apple pie",
         {"250 g brown flour", "Section-hyphen:"},
         ""},
        {"mealmaster/anymeal__section_spaces.mmf",
         1,
         1,
         3,
         0,
         "apple pie",
         {"250 g brown flour", "Section Spaces:"},
         ""},
        {"mealmaster/anymeal__section_whitespace.mmf", 1, 1, 1, 0, "apple pie", {"Meringue:"}, ""},
        {"mealmaster/anymeal__serving_spaces.mmf", 1, 1, 0, 0, "Hearty Russian Beet Soup", {}, ""},
        {"mealmaster/anymeal__skip_leading_spaces.mmf", 1, 1, 0, 0, "cooked apple", {}, ""},
        {"mealmaster/anymeal__stray_ingredient.mmf",
         1,
         1,
         0,
         0,
         "apple pie",
         {},
         "First line. 200.0 ml milk"},
        {"mealmaster/anymeal__three_ingredients.mmf",
         1,
         1,
         3,
         0,
         "Carrot Cake",
         {"1 c ingredient1", "1 c ingredient2", "1 ts ingredient3"},
         ""},
        {"mealmaster/anymeal__title_spaces.mmf", 1, 1, 0, 0, "apple pie", {}, ""},
        {"mealmaster/anymeal__two_column_continuation2.mmf",
         1,
         1,
         3,
         0,
         "Carrot Cake",
         {"1 c ingredient1 continued", "1 ts ingredient2", "1 tb ingredient3"},
         ""},
        {"mealmaster/anymeal__two_column_continuation4.mmf",
         1,
         1,
         1,
         0,
         "Carrot Cake",
         {"1 c ingredient1 cont_a cont_b cont_c"},
         ""},
        {"mealmaster/anymeal__two_ingredients.mmf",
         1,
         1,
         2,
         0,
         "\"21\" Club Rice Pudding",
         {"1 qt pastry"},
         ""},
        {"mealmaster/anymeal__unexpected_continuation.mmf",
         1,
         1,
         1,
         0,
         "apple pie",
         {"-John Doe-"},
         ""},
        {"mealmaster/gourmet__mealmaster_2_col.mmf",
         1,
         1,
         15,
         0,
         "Chiles Rellenos de Queso",
         {"2 Chiles, calif.; roast & peel", "1 Eggs; separated", "Tomato Sauce:", "3/16 ts Salt",
          "pn Cloves, ground"},
         "Prepare tomato sauce; keep warm. \n\nCut as small"},
        {"mealmaster/krecipes__mmftest.txt",
         2,
         2,
         26,
         0,
         "Cookies_Test",
         {"1 c a, or", "Fat & Liquids:", "1 c. shortening; softened, at room temperature"},
         ""},
        {"mealmaster/mealparser__test.mmf",
         2,
         2,
         18,
         0,
         "Almond Mushroom Pate",
         {"2 tb Margarine", "Clove Garlic, Minced", "1/2 c Butter (or margarine), softened"},
         "In a large skillet, melt margarine."},
        {"mastercook-mxp/gourmet__mastercook_text_export.mxp",
         1,
         1,
         5,
         0,
         "4th Of July",
         {"1 1/2 ounces Vodka", "1 dash Grenadine"},
         "in shaker and chill.  Serve in martini glass."},
        {"mastercook-mx2/gourmet__athenos.mx2",
         100,
         100,
         814,
         118,
         "5 Layer Mediterranean Dip",
         {"1 fresh jalape\u00f1o pepper ",
          "1 package Atnenos Traditional Crumbled Feta Cheese - -- (4 oz) "},
         "Thick \u2019N Chunky Salsa."},
        {"mastercook-mx2/gourmet__athenos1.mx2",
         100,
         100,
         813,
         118,
         "5 Layer Mediterranean Dip",
         {"1 cup orzo pasta -- uncooked "},
         ""},
    };
    return files;
}

TEST_F(RecipeFileCorpusTest, EveryFileImportsAsCheckedByEye) {
    for (const CorpusFile& expected : corpusFiles()) {
        SCOPED_TRACE(expected.file);
        const auto slash = expected.file.find('/');
        auto imported =
            importCorpusFile(expected.file.substr(0, slash), expected.file.substr(slash + 1));
        EXPECT_EQ(imported.found, expected.found);
        EXPECT_EQ(imported.imported, expected.imported);
        EXPECT_EQ(imported.recipes.size(), expected.imported);
        EXPECT_EQ(imported.ingredientLines, expected.ingredientLines);
        std::size_t passed = 0;
        for (const auto& record : imported.records) {
            passed += record.kind == ImportRecord::Kind::PassedOver ? 1 : 0;
        }
        EXPECT_EQ(passed, expected.passedOver);
        std::vector<std::string> lines;
        std::string directions;
        bool titled = false;
        for (const auto& recipe : imported.recipes) {
            titled = titled || recipe->name() == expected.title;
            directions += recipe->directions().value_or("") + "\n";
            const std::string text = recipe->ingredients().value_or("");
            for (std::size_t start = 0; start < text.size();) {
                const auto end = std::min(text.find('\n', start), text.size());
                lines.push_back(text.substr(start, end - start));
                start = end + 1;
            }
        }
        EXPECT_TRUE(titled) << expected.title;
        for (const std::string& line : expected.ingredientLinesHeld) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
        }
        EXPECT_NE(directions.find(expected.directionsPiece), std::string::npos)
            << expected.directionsPiece;
    }
}

TEST_F(RecipeFileCorpusTest, TheAthenosFilesAreReadAsTheirBytesAreAndSayWhatTheyLeaveOut) {
    auto imported = importCorpusFile("mastercook-mx2", "gourmet__athenos.mx2");
    ASSERT_FALSE(imported.records.empty());
    EXPECT_EQ(imported.records[0].kind, ImportRecord::Kind::FileNote);
    EXPECT_EQ(imported.records[0].reason, "not UTF-8; read as Windows-1252 (detected)");
    std::size_t yields = 0;
    for (const auto& record : imported.records) {
        if (record.kind == ImportRecord::Kind::PassedOver) {
            EXPECT_TRUE(record.name == "<AltS>" || record.name == "<Yield>") << record.name;
            EXPECT_GT(record.line, 300u);
            yields += record.name == "<Yield>" ? 1 : 0;
        }
    }
    EXPECT_EQ(yields, 18u);
}

TEST_F(RecipeFileCorpusTest, PrintsTheConformanceTable) {
    if (std::getenv("MIRAVEL_CORPUS_DUMP") == nullptr) {
        GTEST_SKIP();
    }
    for (const char* folder : {"mealmaster", "mastercook-mxp", "mastercook-mx2"}) {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(kRecipeFiles / folder)) {
            files.push_back(entry.path().filename().string());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            auto imported = importCorpusFile(folder, file);
            std::size_t passed = 0;
            for (const auto& record : imported.records) {
                passed += record.kind == ImportRecord::Kind::PassedOver ? 1 : 0;
            }
            std::cout << "TABLE|" << folder << "/" << file << "|" << imported.found << "|"
                      << imported.imported << "|" << imported.ingredientLines << "|" << passed
                      << "\n";
            for (const auto& record : imported.records) {
                if (record.kind != ImportRecord::Kind::Recipe || !record.reason.empty()) {
                    std::cout << "  REC " << record.line << " [" << record.name << "] "
                              << record.reason << "\n";
                }
            }
            if (std::string(folder) == "mastercook-mx2") {
                continue;
            }
            for (const auto& recipe : imported.recipes) {
                std::cout << "  NAME " << recipe->name().value_or("<none>") << " | "
                          << recipe->servings().value_or("<none>") << "\n  ING "
                          << recipe->ingredients().value_or("") << "\n  DIR "
                          << recipe->directions().value_or("") << "\n";
            }
        }
    }
}

}  // namespace
}  // namespace miravel
