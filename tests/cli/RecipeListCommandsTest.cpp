#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

class RecipeListCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct Added {
            std::vector<std::string> options;
        };
        const Added recipes[] = {
            {{"--name", "Leek soup", "--ingredients", "2 leeks\n1 l stock", "--rating", "4",
              "--prep-time", "1 hr", "--source", "Café Mörk"}},
            {{"--name", "Crème brûlée", "--ingredients", "cream\nsugar", "--favorite",
              "--prep-time", "45 min"}},
            {{"--name", "Chicken with garlic", "--ingredients", "1 chicken\n3 garlic cloves",
              "--rating", "5", "--prep-time", "1 hr 30 min"}},
            {{"--name", "Garlic bread", "--ingredients", "bread\ngarlic", "--rating", "2"}},
        };
        for (const auto& recipe : recipes) {
            std::vector<std::string> arguments{"recipe", "add"};
            arguments.insert(arguments.end(), recipe.options.begin(), recipe.options.end());
            ASSERT_EQ(run(arguments).exitCode, 0);
        }
        ASSERT_EQ(run({"category", "add", "Desserts"}).exitCode, 0);
        ASSERT_EQ(run({"category", "file", "Desserts", "Crème brûlée"}).exitCode, 0);
    }

    CommandOutput run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", m_library});
        return runMiravel(m_home.path(), arguments);
    }
    // The names listed, one per line, without the uids.
    std::string names(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"recipe", "list"});
        auto listed = run(arguments);
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        std::string result;
        std::size_t start = 0;
        while (start < listed.out.size()) {
            std::size_t end = listed.out.find('\n', start);
            std::string line = listed.out.substr(start, end - start);
            std::size_t tab = line.find('\t');
            result += (tab == std::string::npos ? line : line.substr(tab + 1)) + "\n";
            start = end + 1;
        }
        return result;
    }

    TemporaryFolder m_home;
    std::string m_library = (m_home / "Kitchen").string();
};

TEST_F(RecipeListCommandsTest, listsAsThePaneDoes) {
    struct Case {
        std::vector<std::string> options;
        std::string expected;
    };
    const Case cases[] = {
        {{"--count"}, "Chicken with garlic\nCrème brûlée\nGarlic bread\nLeek soup\n4 Recipes\n"},
        {{"--top-rated"}, "Chicken with garlic\nLeek soup\nGarlic bread\nCrème brûlée\n"},
        {{"--favorites", "--count"}, "Crème brûlée\n1 Recipe\n"},
        {{"--uncategorized"}, "Chicken with garlic\nGarlic bread\nLeek soup\n"},
        {{"--category", "DESSERTS"}, "Crème brûlée\n"},
        {{"--search", "CREME"}, "Crème brûlée\n"},
        {{"--search", "garlic, ,chicken", "--in", "ingredient"}, "Chicken with garlic\n"},
        {{"--search", "cafe", "--in", "source"}, "Leek soup\n"},
        {{"--search", "cafe", "--count"}, "No Recipes\n"},
        {{"--sort", "prep"}, "Garlic bread\nCrème brûlée\nLeek soup\nChicken with garlic\n"},
        {{"--sort", "rating", "--descending"},
         "Chicken with garlic\nLeek soup\nGarlic bread\nCrème brûlée\n"},
        {{"--recent", "--search", "garlic"}, "Garlic bread\nChicken with garlic\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(names(c.options), c.expected) << c.options.front();
    }
}

TEST_F(RecipeListCommandsTest, refusesContradictoryOrUnknownChoices) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"recipe", "list", "--favorites", "--recent"}, 2, "choose one of"},
        {{"recipe", "list", "--category", "Desserts", "--uncategorized"}, 2, "choose one of"},
        {{"recipe", "list", "--search", "x", "--in", "notes"}, 2, "name, ingredient or source"},
        {{"recipe", "list", "--sort", "difficulty"}, 2, "name, created, rating, prep or cook"},
        {{"recipe", "list", "--category", "Soups"}, 1, "no category named \"Soups\""},
        {{"recipe", "favorite", "Leek soup", "yes"}, 2, "on or off"},
        {{"recipe", "favorite", "Stew", "on"}, 1, "no recipe named \"Stew\""},
        {{"recipe", "delete", "Leek soup", "Stew"}, 1, "no recipe named \"Stew\""},
    };
    for (const auto& c : cases) {
        auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back() << "\n" << result.err;
        EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
    }
    // The failed delete named one recipe that exists: it is still there.
    EXPECT_EQ(names({"--count"}).substr(names({"--count"}).rfind("4 Recipes")), "4 Recipes\n");
}

TEST_F(RecipeListCommandsTest, favoritesOnAndOff) {
    auto on = run({"recipe", "favorite", "Leek soup", "on"});
    EXPECT_EQ(on.exitCode, 0) << on.err;
    EXPECT_EQ(on.out, "Recipe added to favorites.\n");
    EXPECT_EQ(names({"--favorites"}), "Crème brûlée\nLeek soup\n");
    auto off = run({"recipe", "favorite", "Crème brûlée", "off"});
    EXPECT_EQ(off.out, "Recipe removed from favorites.\n");
    auto again = run({"recipe", "favorite", "Crème brûlée", "off"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, "Recipe removed from favorites.\n");
    EXPECT_EQ(names({"--favorites"}), "Leek soup\n");
}

TEST_F(RecipeListCommandsTest, deletesSeveralRecipes) {
    auto deleted = run({"recipe", "delete", "--yes", "Leek soup", "Garlic bread", "Leek soup"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(deleted.out,
              "Deleted \"Leek soup\".\nDeleted \"Garlic bread\".\n"
              "Kept in the trash for 30 days: \"miravel trash restore NAME\" brings a "
              "recipe back.\n");
    EXPECT_EQ(names({"--count"}), "Chicken with garlic\nCrème brûlée\n2 Recipes\n");
}

}  // namespace
}  // namespace miravel
