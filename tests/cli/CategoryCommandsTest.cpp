#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;

class CategoryCommandsTest : public KitchenTest {
protected:
    // The names "category list" prints, in order.
    std::vector<std::string> listed(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"category", "list"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        auto output = run(arguments);
        EXPECT_EQ(output.exitCode, 0) << output.err;
        std::vector<std::string> names;
        std::size_t start = 0;
        while (start < output.out.size()) {
            std::size_t end = output.out.find('\n', start);
            std::string line = output.out.substr(start, end - start);
            std::size_t tab = line.find('\t');
            std::string rest = line.substr(tab + 1);
            names.push_back(line.substr(0, tab) + " " + rest.substr(0, rest.find('\t')));
            start = end + 1;
        }
        return names;
    }
};

TEST_F(CategoryCommandsTest, addRenameMoveAndDeleteAsAUserWould) {
    ASSERT_EQ(run({"settings", "set", "AlphabetizeCategories", "false"}).exitCode, 0);
    for (const char* name : {"Soups", "Cakes", "Bread", "Pies", "Salads"}) {
        auto added = run({"category", "add", name});
        ASSERT_EQ(added.exitCode, 0) << added.err;
        EXPECT_EQ(added.out.rfind("Added category \"" + std::string(name) + "\" (", 0), 0u);
    }
    EXPECT_EQ(run({"category", "rename", "Cakes", "Tarts"}).out,
              "Renamed \"Cakes\" to \"Tarts\".\n");
    auto moved = run({"category", "move", "Soups", "3"});
    EXPECT_EQ(moved.out, "Moved \"Soups\" to position 3.\n") << moved.err;
    EXPECT_EQ(listed(),
              (std::vector<std::string>{"1 Tarts", "2 Bread", "3 Soups", "4 Pies", "5 Salads"}));
    auto same = run({"category", "move", "Soups", "3"});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_NE(same.err.find("already at position 3"), std::string::npos);

    auto deleted = run({"category", "delete", "Pies"});
    EXPECT_EQ(deleted.out, "Deleted category \"Pies\"; its 0 recipes stay in the library.\n");
    auto withPresets = listed({"--presets"});
    EXPECT_EQ(withPresets, (std::vector<std::string>{"preset All Recipes", "preset Most Recent",
                                                     "preset Top Rated", "preset Favorites",
                                                     "preset Uncategorized", "1 Tarts", "2 Bread",
                                                     "3 Soups", "4 Salads"}));
}

TEST_F(CategoryCommandsTest, filingRecipesIsRefusedWhenEveryOneHasTheCategory) {
    ASSERT_EQ(run({"category", "add", "Soups"}).exitCode, 0);
    ASSERT_EQ(run({"recipe", "add", "--name", "Leek soup"}).exitCode, 0);
    ASSERT_EQ(run({"recipe", "add", "--name", "Pea soup"}).exitCode, 0);
    EXPECT_EQ(run({"category", "file", "Soups", "Leek soup"}).out,
              "Filed 1 recipe in \"Soups\".\n");
    EXPECT_EQ(run({"category", "file", "Soups", "Leek soup", "Pea soup"}).out,
              "Filed 1 recipe in \"Soups\".\n");
    auto refused = run({"category", "file", "Soups", "Pea soup", "Leek soup"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("every recipe is already in \"Soups\""), std::string::npos);
    auto shown = run({"recipe", "show", "Pea soup"});
    EXPECT_NE(shown.out.find("Categories: Soups\n"), std::string::npos) << shown.out;

    EXPECT_EQ(run({"category", "delete", "Soups"}).out,
              "Deleted category \"Soups\"; its 2 recipes stay in the library.\n");
    shown = run({"recipe", "show", "Pea soup"});
    EXPECT_NE(shown.out.find("Categories: Uncategorized\n"), std::string::npos) << shown.out;
}

TEST_F(CategoryCommandsTest, refusesBadInput) {
    ASSERT_EQ(run({"category", "add", "Crème"}).exitCode, 0);
    ASSERT_EQ(run({"category", "add", "Creme"}).exitCode, 0);
    ASSERT_EQ(run({"category", "add", "Bread"}).exitCode, 0);
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"category", "add", ""}, 2, "needs a name"},
        {{"category", "add", " \t "}, 2, "needs a name"},
        {{"category", "add", "Bread"}, 1, "already a category named \"Bread\""},
        {{"category", "add", " bread"}, 1, "already a category named \"Bread\""},
        {{"category", "add", "CRÈME"}, 1, "already a category named \"Crème\""},
        {{"category", "rename", "Bread", ""}, 2, "needs a name"},
        {{"category", "rename", "Bread", "creme"}, 1, "already a category named \"Creme\""},
        {{"category", "rename", "Rolls", "Buns"}, 1, "no category named \"Rolls\""},
        {{"category", "delete", "creme"}, 1, "several categories match \"creme\""},
        {{"category", "move", "Bread", "0"}, 2, "counted from 1"},
        {{"category", "move", "Bread", "two"}, 2, "counted from 1"},
        {{"category", "move", "Bread", "4"}, 2, "only 3 categories"},
        {{"category", "file", "Bread", "Nothing"}, 1, "no recipe named \"Nothing\""},
        {{"category", "file", "Bread"}, 2, "missing arguments"},
    };
    for (const auto& c : cases) {
        auto output = run(c.arguments);
        EXPECT_EQ(output.exitCode, c.exitCode) << c.arguments.back() << output.err;
        EXPECT_NE(output.err.find(c.inErr), std::string::npos) << output.err;
    }
    EXPECT_EQ(listed(), (std::vector<std::string>{"1 Bread", "2 Creme", "3 Crème"}));
    // Spelled apart from case and accents, a name is taken when it matches one category only.
    EXPECT_EQ(run({"category", "rename", "BREAD", "Loaves"}).out,
              "Renamed \"Bread\" to \"Loaves\".\n");
    EXPECT_EQ(run({"category", "rename", "Loaves", "  Rolls "}).out,
              "Renamed \"Loaves\" to \"Rolls\".\n");
}

}  // namespace
}  // namespace miravel
