#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lib/JsonParser.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

const std::filesystem::path kPages = std::filesystem::path(MIRAVEL_TEST_DATA) / "browser";

class ClipCommandTest : public ::testing::Test {
protected:
    CommandOutput run(std::vector<std::string> arguments,
                      const std::optional<std::string>& input = std::nullopt) {
        arguments.insert(arguments.begin(), {"--library", m_library.string()});
        return runMiravel(m_home.path(), arguments, input);
    }
    TemporaryFolder m_home;
    std::filesystem::path m_library = m_home / "Kitchen";
};

TEST_F(ClipCommandTest, PrintsTheDictionaryTheEditorWouldGet) {
    const auto clipped = run({"clip", "--html", (kPages / "jsonld-graph.html").string(), "--url",
                              "https://www.food.example/chili/", "--json"});
    ASSERT_EQ(clipped.exitCode, 0) << clipped.err;
    auto dictionary = JsonParser::parse(clipped.out);
    ASSERT_TRUE(dictionary && dictionary->isObject()) << clipped.out;
    EXPECT_EQ(dictionary->member("name")->asString(), "Weeknight Chili");
    EXPECT_EQ(dictionary->member("source")->asString(), "Food.example");
    EXPECT_EQ(dictionary->member("source_url")->asString(), "https://www.food.example/chili/");
    EXPECT_EQ(dictionary->member("cook_time")->asString(), "1 hr 30 min");

    const auto text = run({"clip", "--html", (kPages / "plain-headings.html").string()});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Ingredients:\nFor the dough:\n2 cups flour\n"), std::string::npos)
        << text.out;
}

TEST_F(ClipCommandTest, APageWithoutARecipeFailsAndSavesNothing) {
    const auto clipped = run({"clip", "--html", (kPages / "no-recipe.html").string(), "--url",
                              "https://x.example/", "--save"});
    EXPECT_EQ(clipped.exitCode, 1);
    EXPECT_EQ(clipped.err, "No recipe found on this page.\n");
    EXPECT_EQ(clipped.out, "");
    EXPECT_FALSE(std::filesystem::exists(m_library));

    EXPECT_EQ(run({"clip"}).exitCode, 2);
    EXPECT_EQ(run({"clip", "--html", (m_home / "missing.html").string()}).exitCode, 1);
}

TEST_F(ClipCommandTest, SaveAddsTheRecipeAsTheEditorSavesIt) {
    const auto saved =
        run({"clip", "--html", "-", "--url", "https://soup.example/potato", "--save"},
            std::string("<div itemscope itemtype='http://schema.org/Recipe'>"
                        "<h1 itemprop='name'>Potato Soup</h1><ul>"
                        "<li itemprop='recipeIngredient'>4 potatoes</li>"
                        "<li itemprop='recipeIngredient'>1 onion</li></ul>"
                        "<p itemprop='recipeInstructions'>Simmer.</p></div>"));
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const std::string uid = saved.out.substr(0, saved.out.find('\n'));
    const auto shown = run({"recipe", "show", uid, "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    auto recipe = JsonParser::parse(
        shown.out, {.maxDepth = JsonParser::kDefaultMaxDepth, .allowRawControlCharacters = true});
    ASSERT_TRUE(recipe && recipe->isObject()) << shown.out;
    EXPECT_EQ(recipe->member("name")->asString(), "Potato Soup");
    EXPECT_EQ(recipe->member("ingredients")->asString(), "4 potatoes\n1 onion");
    EXPECT_EQ(recipe->member("directions")->asString(), "Simmer.");
    EXPECT_EQ(recipe->member("source")->asString(), "Soup.example");
    EXPECT_EQ(recipe->member("source_url")->asString(), "https://soup.example/potato");
    EXPECT_TRUE(recipe->member("image_url")->isNull());
}

}  // namespace
}  // namespace miravel
