#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/MasterCookImporter.h"
#include "import/MasterCookMxpImporter.h"
#include "import/MiravelWindowController.h"
#include "lib/AtomicFile.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

class MasterCookImporterTest : public LibraryTest {};

TEST(MasterCookTimes, HoursAndMinutesBecomeDurationTexts) {
    struct Case {
        std::string_view text;
        std::optional<std::string> mxp;
        std::string mx2;
    };
    for (const Case& c : std::initializer_list<Case>{{"0:30", "30 min", "30 min"},
                                                     {"1:05", "1 hr 05 min", "1 hr 05 min"},
                                                     {"2:00", "2 hr 0 min", "2 hr 0 min"},
                                                     {"0:00", "0 min", "0 min"},
                                                     {" 0:45\t", "45 min", " 0 hr 45\t min"},
                                                     {"", std::nullopt, ""},
                                                     {":", std::nullopt, " hr  min"},
                                                     {"90", "", ""},
                                                     {"1:2:3", "", ""}}) {
        EXPECT_EQ(MasterCookMxpImporter::parsePrepTime(c.text), c.mxp) << c.text;
        EXPECT_EQ(MasterCookImporter::parsePrepTime(c.text), c.mx2) << c.text;
    }
}

TEST_F(MasterCookImporterTest, ReadsTheLabelledLinesTheTableAndTheNotesOfEachBanner) {
    auto run = importFile(kData / "layer_cake.mxp");
    ASSERT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 2u);
    auto cake = recipeNamed("Layer Cake");
    ASSERT_TRUE(cake);
    EXPECT_EQ(cake->source(), " Grandma");
    EXPECT_EQ(cake->servings(), "4 servings");
    EXPECT_EQ(cake->prepTime(), "30 min");
    EXPECT_EQ(categoryNames(*cake), (std::vector<std::string>{"Baking", "Cakes", "Desserts"}));
    EXPECT_EQ(cake->ingredients(), "1 1/2 cups flour -- sifted\n1/2 cup sugar");
    // Wrapped direction lines join with a blank, not glued word to word.
    EXPECT_EQ(cake->directions(), "Mix the flour and the sugar.\n\nBake.");
    EXPECT_EQ(cake->notes(), "Keeps a week.");

    auto lemonade = recipeNamed("Lemonade");
    ASSERT_TRUE(lemonade);
    EXPECT_EQ(lemonade->prepTime(), "1 hr 05 min");
    EXPECT_EQ(lemonade->servings(), "2 servings");
    EXPECT_EQ(lemonade->ingredients(), "2 whole lemons");
    EXPECT_FALSE(lemonade->source());
}

TEST_F(MasterCookImporterTest, LinesBeforeTheFirstBannerArePassedOverAndReported) {
    auto run = importText("mail.mxp",
                          "Here is the recipe:\n\n* Exported from MasterCook *\n\nToast\n"
                          "Serving Size  : 1\n\nAmount  Measure  Ingredient -- Preparation "
                          "Method\n1 slice bread\n");
    EXPECT_EQ(run.outcome.count, 1u);
    auto toast = recipeNamed("Toast");
    ASSERT_TRUE(toast);
    // "Serving Size" without "Preparation Time" takes neither value.
    EXPECT_FALSE(toast->servings());
    EXPECT_EQ(toast->ingredients(), "1 slice bread");
    ASSERT_GE(run.records.size(), 2u);
    EXPECT_EQ(run.records[0].kind, ImportRecord::Kind::PassedOver);
    EXPECT_EQ(run.records[0].line, 1u);
    EXPECT_EQ(run.records[0].name, "Here is the recipe:");
    EXPECT_EQ(run.records[1].line, 3u);

    run = importText("nothing.mxp", "just some text\n");
    EXPECT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 0u);
}

TEST_F(MasterCookImporterTest, ConcatenatedDocumentsAllImportAndABrokenOneKeepsWhatCameFirst) {
    auto run = importFile(kData / "two_documents.mx2");
    ASSERT_FALSE(run.outcome.error);
    EXPECT_EQ(run.outcome.count, 3u);
    auto steak = recipeNamed("Salt & Pepper Steak");
    ASSERT_TRUE(steak);
    EXPECT_EQ(steak->servings(), "2");
    EXPECT_EQ(steak->prepTime(), "1 hr 05 min");
    EXPECT_EQ(categoryNames(*steak), (std::vector<std::string>{"Beef", "Quick"}));
    EXPECT_EQ(steak->ingredients(), "1 pound steak -- trimmed \nsalt & pepper \n");
    EXPECT_EQ(steak->directions(), "Season the steak.\n\nGrill 4 minutes a side.");
    EXPECT_EQ(steak->source(), "Caf\u00e9 Menu");

    auto rice = recipeNamed("Plain Rice");
    ASSERT_TRUE(rice);
    EXPECT_EQ(rice->prepTime(), "");
    EXPECT_EQ(rice->ingredients(), "1 cup rice \n");
    auto cut = recipeNamed("Cut Short");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->servings(), "3");
    EXPECT_EQ(cut->ingredients(), "2 beans \n");

    std::vector<std::pair<std::size_t, std::string>> passed;
    for (const ImportRecord& record : run.records) {
        if (record.kind == ImportRecord::Kind::PassedOver) {
            passed.emplace_back(record.line, record.name);
        }
    }
    ASSERT_EQ(passed.size(), 2u);
    EXPECT_EQ(passed[0], (std::pair<std::size_t, std::string>{19, "<Yield>"}));
    EXPECT_EQ(passed[1].first, 31u) << "the line where the second document breaks";
}

TEST_F(MasterCookImporterTest, DeclarationsOutOfOrderAndWindows1252BytesAreRead) {
    auto run = importText("athenos.MX2",
                          "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"ISO-8859-1\"?>\r\n"
                          "<mx2><RcpE name=\"Mom\x92s Jalape\xf1o Pie\"><IngR name=\"AT&T\"/>"
                          "</RcpE></mx2>\r\n");
    EXPECT_EQ(run.outcome.count, 1u);
    auto pie = recipeNamed("Mom\u2019s Jalape\u00f1o Pie");
    ASSERT_TRUE(pie);
    EXPECT_EQ(pie->ingredients(), "AT&T \n");
}

TEST_F(MasterCookImporterTest, BareAmpersandsAreEscapedAndReferencesKept) {
    EXPECT_EQ(MasterCookImporter::escapedAmpersands("Salt & Pepper &amp; &lt;b&gt; &quot;"),
              "Salt &amp; Pepper &amp; &lt;b&gt; &quot;");
    EXPECT_EQ(MasterCookImporter::escapedAmpersands("&#233; &#xE9; &#; &#12a; &nbsp; &"),
              "&#233; &#xE9; &amp;#; &amp;#12a; &amp;nbsp; &amp;");
}

TEST_F(MasterCookImporterTest, TextWithoutAnyRecipeImportsNothing) {
    for (const char* text : {"", "not xml at all", "<?xml version=\"1.0\"?><mx2/>",
                             "<mx2><RcpE name=\"A\"><Serv qty=\"1\"/></RcpE"}) {
        auto run = importText("x.mx2", text);
        EXPECT_FALSE(run.outcome.error) << text;
    }
    // Only the last text holds a recipe, built before the text broke off.
    ASSERT_EQ(liveRecipes().size(), 1u);
    EXPECT_EQ(liveRecipes()[0]->servings(), "1");
}

}  // namespace
}  // namespace miravel
