#include <gtest/gtest.h>

#include <sys/stat.h>

#include "import/GourmetImporter.h"
#include "import/ImportTestSupport.h"
#include "import/ImporterDispatch.h"
#include "import/KRecipesImporter.h"
#include "import/RecipeMLImporter.h"
#include "import/XmlFileImporter.h"
#include "import/YumImporter.h"

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

TEST_F(YumImporterTest, XmlFilesAreChosenByTheirRootAndTheNewExtensionsAreOffered) {
    const auto recipeML = m_folder / "export.XML";
    ASSERT_TRUE(writeFileAtomically(recipeML,
                                    "<?xml version=\"1.0\"?>\n<!DOCTYPE recipeml>\n"
                                    "<RecipeML version=\"0.5\"></RecipeML>"));
    EXPECT_TRUE(dynamic_cast<RecipeMLImporter*>(importerForFile(recipeML, *m_library).get()));
    const auto yum = m_folder / "yum.xml";
    ASSERT_TRUE(writeFileAtomically(yum, "<YumExport/>"));
    EXPECT_TRUE(dynamic_cast<YumImporter*>(importerForFile(yum, *m_library).get()));
    EXPECT_TRUE(
        dynamic_cast<YumImporter*>(importerForFile(m_folder / "absent.xml", *m_library).get()));
    // Telling the two apart reads the start of a plain file only: a FIFO is not waited on.
    const auto fifo = m_folder / "pipe.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(dynamic_cast<YumImporter*>(importerForFile(fifo, *m_library).get()));
    EXPECT_TRUE(
        dynamic_cast<GourmetImporter*>(importerForFile(m_folder / "a.GRMT", *m_library).get()));
    EXPECT_TRUE(
        dynamic_cast<KRecipesImporter*>(importerForFile(m_folder / "a.kre", *m_library).get()));
    const auto& offered = importFileExtensions();
    for (std::string_view extension :
         {"mgourmet", "mgourmet3", "ysr", "xml", "vrc", "grmt", "kreml", "kre"}) {
        EXPECT_NE(std::find(offered.begin(), offered.end(), extension), offered.end()) << extension;
        EXPECT_TRUE(importerForFile(m_folder / ("f." + std::string(extension)), *m_library))
            << extension;
    }
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
