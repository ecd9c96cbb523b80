#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

class ImportCommands : public ::testing::Test {
protected:
    CommandOutput run(const std::string& library, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", (m_home / library).string()});
        return runMiravel(m_home.path(), arguments);
    }
    void add(const std::string& library, const std::string& name,
             const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments = {"recipe", "add", "--name", name};
        arguments.insert(arguments.end(), more.begin(), more.end());
        auto added = run(library, arguments);
        ASSERT_EQ(added.exitCode, 0) << added.err;
    }
    TemporaryFolder m_home;
};

TEST_F(ImportCommands, ExportAndImportCarryRecipesBetweenLibraries) {
    add("A", "Leek soup", {"--ingredients", "2 leeks\n1 l stock", "--rating", "4"});
    add("A", "Pie", {"--favorite"});
    add("A", "pie");
    const std::string archive = (m_home / "All.miravelrecipes").string();
    auto exported = run("A", {"export", archive});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "Export Complete: 3 recipes exported.\n");

    auto imported = run("B", {"import", archive});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(imported.out, "Import Complete: Successfully imported 3 recipes.\n");
    auto shown = run("B", {"recipe", "show", "Leek soup"});
    EXPECT_NE(shown.out.find("2 leeks\n1 l stock"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Rating: ****"), std::string::npos);

    // The favourites only, then one named recipe as a single recipe file.
    auto favorites = run("A", {"export", "--favorites", (m_home / "Fav.miravelrecipes").string()});
    EXPECT_EQ(favorites.out, "Export Complete: 1 recipes exported.\n");
    const std::string single = (m_home / "Soup.miravelrecipe").string();
    ASSERT_EQ(run("A", {"export", "--format", "recipe", "Leek soup", single}).exitCode, 0);
    auto opened = run("C", {"open", single});
    ASSERT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_TRUE(opened.out.starts_with("Leek soup\n")) << opened.out;
    EXPECT_EQ(opened.out.find("Rating"), std::string::npos) << "opening leaves the rating behind";
}

TEST_F(ImportCommands, ReportsWhatWasSkippedAndFailsForBadFiles) {
    const auto notes = m_home / "notes.txt";
    ASSERT_TRUE(writeFileAtomically(notes, "hello"));
    auto refused = run("A", {"import", notes.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Import Failed: File not recognized.\n");

    const auto plain = m_home / "Plain.miravelrecipe";
    ASSERT_TRUE(writeFileAtomically(plain, "{\"name\":\"Plain\"}"));
    auto report = run("A", {"import", "--report", plain.string()});
    EXPECT_EQ(report.exitCode, 1);
    auto line = JsonParser::parse(report.out.substr(0, report.out.find('\n')));
    ASSERT_TRUE(line && line->isObject()) << report.out;
    EXPECT_FALSE(line->member("imported")->asBoolean());
    EXPECT_EQ(line->member("reason")->asString(), "Unable to parse this file.");

    auto missing = run("A", {"import", (m_home / "gone.miravelrecipes").string()});
    EXPECT_EQ(missing.exitCode, 1);
    auto notARecipe = run("A", {"open", notes.string()});
    EXPECT_EQ(notARecipe.exitCode, 1);
    EXPECT_NE(notARecipe.err.find("Recipe Error: This recipe could not be imported"),
              std::string::npos);
    EXPECT_EQ(run("A", {"export", "--format", "zip", "x"}).exitCode, 2);

    // A web export goes to a new folder, never over a folder of the user's.
    add("A", "Soup");
    auto site = run("A", {"export", "--format", "html", (m_home / "Site").string()});
    EXPECT_EQ(site.exitCode, 0) << site.err;
    EXPECT_TRUE(std::filesystem::exists(m_home / "Site" / "index.html"));
    auto refusedSite = run("A", {"export", "--format", "html", m_home.path().string()});
    EXPECT_EQ(refusedSite.exitCode, 1);
    EXPECT_NE(refusedSite.err.find("holds other files"), std::string::npos) << refusedSite.err;
}

TEST_F(ImportCommands, TheReportListsRecipesPassedOverLinesAndTheCountsOfEachFile) {
    const auto file = m_home / "Mail.MMF";
    ASSERT_TRUE(writeFileAtomically(file,
                                    "Hello,\nMMMMM----- Recipe via Meal-Master (tm) v8.02\n"
                                    "      Title: Soup\n   Servings: 2\n\n      1 l  Stock\n"
                                    "MMMMM\n"));
    auto report = run("A", {"import", "--report", file.string()});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    std::vector<JsonValue> lines;
    for (std::size_t start = 0; start < report.out.size();) {
        const auto end = report.out.find('\n', start);
        if (auto line = JsonParser::parse(report.out.substr(start, end - start))) {
            lines.push_back(*line);
        }
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << report.out;
    EXPECT_EQ(lines[0].member("passed_over")->asString(), "Hello,");
    EXPECT_EQ(lines[0].member("line")->asInteger(), 1);
    EXPECT_EQ(lines[0].member("reason")->asString(), "outside any recipe");
    EXPECT_EQ(lines[1].member("name")->asString(), "Soup");
    EXPECT_EQ(lines[1].member("line")->asInteger(), 2);
    EXPECT_TRUE(lines[1].member("imported")->asBoolean());
    EXPECT_EQ(lines[2].member("found")->asInteger(), 1);
    EXPECT_EQ(lines[2].member("imported")->asInteger(), 1);
    EXPECT_NE(report.out.find("Import Complete: Successfully imported 1 recipes."),
              std::string::npos);
}

}  // namespace
}  // namespace miravel
