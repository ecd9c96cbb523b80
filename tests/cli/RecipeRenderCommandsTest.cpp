#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::TemporaryFolder;

const std::string kPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Fish &amp; chips</title></head>"
    "<body style='font-family: Helvetica;'><h3>Fish &amp; chips</h3>"
    "<p class='rating' value='2'>\u2605\u2605</p><p><b>Makes:</b> 2</p><h4>Ingredients:</h4>"
    "<h4>Fish:</h4><ul><li>2 cod fillets</li></ul><br/><h4>Directions:</h4>"
    "<p>Fry.</p></body></html>";

class RecipeRenderCommands : public ::testing::Test {
protected:
    void SetUp() override {
        auto added =
            run({"recipe", "add", "--name", "Fish & chips", "--ingredients", "Fish:\n2 cod fillets",
                 "--directions", "Fry.", "--servings", "2", "--rating", "2"});
        ASSERT_EQ(added.exitCode, 0) << added.err;
    }
    testing::CommandOutput run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", (m_home / "Kitchen").string()});
        return runMiravel(m_home.path(), arguments);
    }

    TemporaryFolder m_home;
};

TEST_F(RecipeRenderCommands, showsThePrintPageAndTheMailText) {
    auto html = run({"recipe", "show", "Fish & chips", "--html"});
    EXPECT_EQ(html.exitCode, 0) << html.err;
    EXPECT_EQ(html.out, kPage + "\n");

    auto text = run({"recipe", "show", "Fish & chips", "--text"});
    EXPECT_EQ(text.out,
              "Fish & chips\n\n\u2605\u2605\n\n"
              "Prep Time: --- | Cook Time: --- | Servings: 2 | Difficulty: ---\n\n"
              "Ingredients:\n\nFish:\n2 cod fillets\n\nDirections:\n\nFry.\n\n"
              "Sent from Miravel Recipe Manager. https://www.miravel.app\n");
}

TEST_F(RecipeRenderCommands, scaleAppliesToThisRenderingOnly) {
    auto doubled = run({"recipe", "show", "Fish & chips", "--text", "--scale", "2/1"});
    EXPECT_NE(doubled.out.find("Servings: 4 (Scaled)"), std::string::npos) << doubled.out;
    EXPECT_NE(doubled.out.find("\n4 cod fillets\n"), std::string::npos) << doubled.out;
    auto page = run({"recipe", "show", "Fish & chips", "--html", "--scale", "2"});
    EXPECT_NE(page.out.find("<li>4 cod fillets</li>"), std::string::npos) << page.out;
    EXPECT_EQ(run({"recipe", "show", "Fish & chips", "--html"}).out, kPage + "\n");
}

TEST_F(RecipeRenderCommands, mailPrintsTheAddressForTheDefaultRecipients) {
    ASSERT_EQ(
        run({"settings", "set", "DefaultEmail", "cook@example.org, chef@example.org"}).exitCode, 0);
    auto mail = run({"recipe", "mail", "Fish & chips"});
    EXPECT_EQ(mail.exitCode, 0) << mail.err;
    // The address, then the recipe file the receiver can import.
    const std::string address = mail.out.substr(0, mail.out.find('\n') + 1);
    EXPECT_EQ(address,
              "mailto:cook@example.org,chef@example.org?subject=Recipe:%20Fish%20%26%20chips"
              "&body=Fish%20%26%20chips%0A%0A%E2%98%85%E2%98%85%0A%0APrep%20Time:%20---%20%7C%20"
              "Cook%20Time:%20---%20%7C%20Servings:%202%20%7C%20Difficulty:%20---%0A%0A"
              "Ingredients:%0A%0AFish:%0A2%20cod%20fillets%0A%0ADirections:%0A%0AFry.%0A%0A"
              "Sent%20from%20Miravel%20Recipe%20Manager.%20https://www.miravel.app\n");
    EXPECT_NE(mail.out.find("/Fish & chips.miravelrecipe\n"), std::string::npos) << mail.out;
}

TEST_F(RecipeRenderCommands, printWritesThePageToAFileOrStandardOutput) {
    auto file = m_home / "fish.html";
    auto printed = run({"recipe", "print", "Fish & chips", "--output", file.string()});
    EXPECT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_EQ(printed.out, "");
    std::ifstream in(file, std::ios::binary);
    std::stringstream page;
    page << in.rdbuf();
    EXPECT_EQ(page.str(), kPage);

    EXPECT_EQ(run({"recipe", "print", "Fish & chips"}).out, kPage + "\n");
    auto unwritable = run({"recipe", "print", "Fish & chips", "--output",
                           (m_home / "no" / "such" / "folder" / "x.html").string()});
    EXPECT_EQ(unwritable.exitCode, 1);
}

TEST_F(RecipeRenderCommands, refusesConflictingOrMissingChoices) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"recipe", "show", "Fish & chips", "--html", "--text"}, 2, "choose one of"},
        {{"recipe", "show", "Fish & chips", "--json", "--html"}, 2, "choose one of"},
        {{"recipe", "show", "Fish & chips", "--text", "--scale", "0"},
         2,
         "--scale \"0\" is not a factor"},
        {{"recipe", "print", "Fish & chips", "--output"}, 2, "needs a value"},
        {{"recipe", "mail", "Nothing"}, 1, "no recipe named \"Nothing\""},
        {{"recipe", "print", "Nothing"}, 1, "no recipe named \"Nothing\""},
    };
    for (const auto& c : cases) {
        auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace miravel
