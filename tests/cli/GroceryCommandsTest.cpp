#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;

class GroceryCommandsTest : public KitchenTest {
protected:
    void addRecipe(const std::string& name, const std::string& ingredients) {
        ok({"recipe", "add", "--name", name, "--ingredients", ingredients});
    }
    // Items of one's own, with the aisle the parser gives them.
    void addOwn(const std::vector<std::string>& texts) {
        for (const auto& text : texts) {
            ok({"grocery", "new", text});
        }
    }
};

TEST_F(GroceryCommandsTest, addMergesLikeLinesAndKeepsOnlyTheChosenRows) {
    addRecipe("Pancakes", "1 cup milk\n2 eggs\nsalt");
    addRecipe("Soup", "1 cup milk\n1 onion");
    EXPECT_EQ(ok({"grocery", "add", "Pancakes", "--preview"}),
              "1\t1 cup milk\n2\t2 eggs\n3\tsalt\n");
    EXPECT_EQ(ok({"grocery", "list"}), "No items.\n");
    EXPECT_EQ(ok({"grocery", "add", "Pancakes", "--only", "1,3"}),
              "Added to the grocery list from \"Pancakes\":\n  1 cup milk\n  salt\n");
    ok({"grocery", "add", "Soup"});
    auto list = ok({"grocery", "list"});
    EXPECT_NE(list.find("  2 cups milk\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("eggs"), std::string::npos) << list;
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe", "--no-consolidate"}),
              "Pancakes\n   1  1 cup milk\n   2  salt\nSoup\n   3  1 cup milk\n   4  1 onion\n");
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe", "--recipe", "Soup"}),
              "Soup\n   1  1 cup milk\n   2  1 onion\n");

    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
    };
    const Case refused[] = {
        {{"grocery", "add", "Pancakes", "--only", "1,x"}, 2},
        {{"grocery", "add", "Pancakes", "--only", "4"}, 1},
        {{"grocery", "add", "Pancakes", "--scale", "0"}, 2},
        {{"grocery", "add", "Nothing"}, 1},
        {{"grocery", "list", "--by", "shelf"}, 2},
        {{"grocery", "list", "--bought", "--to-buy"}, 2},
        {{"grocery", "list", "--recipe", "Nothing"}, 1},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(run(c.arguments).exitCode, c.exitCode) << c.arguments[2];
    }
}

TEST_F(GroceryCommandsTest, addAtAScaleLeavesTheRecipesOwnScale) {
    addRecipe("Bread", "2 eggs");
    EXPECT_EQ(ok({"grocery", "add", "Bread", "--scale", "3/2"}),
              "Added to the grocery list from \"Bread\":\n  3 eggs\n");
    EXPECT_EQ(ok({"grocery", "add", "Bread", "--preview"}), "1\t2 eggs\n");
}

TEST_F(GroceryCommandsTest, rowsAreNamedByTheNumbersTheListShows) {
    addRecipe("Soup", "1 onion\n2 carrots");
    ok({"grocery", "add", "Soup"});
    addOwn({"milk"});
    const std::string before = ok({"grocery", "list", "--by", "recipe"});
    EXPECT_EQ(before, "My Items\n   1  milk\nSoup\n   2  2 carrots\n   3  1 onion\n");

    EXPECT_EQ(ok({"grocery", "check", "1", "3", "--by", "recipe"}), "Checked off 2 rows.\n");
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe", "--bought"}),
              "My Items\n   1  ✓ milk\nSoup\n   2  ✓ 1 onion\n");
    EXPECT_EQ(ok({"grocery", "uncheck", "2", "--by", "recipe", "--bought"}), "Unchecked 1 row.\n");
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe", "--to-buy"}),
              "Soup\n   1  2 carrots\n   2  1 onion\n");

    EXPECT_EQ(ok({"grocery", "move-aisle", "snacks", "1", "--my-items"}),
              "Moved 1 row to \"Snacks\".\n");
    auto list = ok({"grocery", "list"});
    EXPECT_EQ(list, "Produce\n   1  2 carrots\n   2  1 onion\nSnacks\n   3  ✓ milk\n");

    EXPECT_EQ(ok({"grocery", "edit", "3", "2 liters milk"}),
              "Changed \"milk\" to \"2 liters milk\".\n");
    list = ok({"grocery", "list"});
    EXPECT_NE(list.find("Snacks\n   3  ✓ 2 liters milk\n"), std::string::npos) << list;

    auto missing = run({"grocery", "delete", "9"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("there is no row 9"), std::string::npos) << missing.err;
    EXPECT_EQ(run({"grocery", "delete", "0"}).exitCode, 2);
    EXPECT_EQ(run({"grocery", "new", " "}).exitCode, 2);
    EXPECT_EQ(ok({"grocery", "delete", "3", "3"}), "Deleted 1 row (1 item).\n");
    EXPECT_EQ(ok({"grocery", "list", "--my-items"}), "No items.\n");
}

TEST_F(GroceryCommandsTest, clearRemoveRecipePrintAndMail) {
    addRecipe("Soup", "1 onion");
    addRecipe("Pie", "2 apples");
    ok({"grocery", "add", "Soup"});
    ok({"grocery", "add", "Pie"});
    addOwn({"milk"});
    ok({"grocery", "check", "1", "--recipe", "Pie"});

    std::string page = ok({"grocery", "print", "--by", "recipe"});
    EXPECT_EQ(page.rfind("<!DOCTYPE html><html><head>", 0), 0u) << page;
    EXPECT_NE(page.find("<h4>Pie</h4><p>✓ 2 apples</p>"), std::string::npos) << page;
    const std::string file = (m_home / "list.html").string();
    EXPECT_EQ(ok({"grocery", "print", "--by", "recipe", "--output", file}), "");
    std::stringstream written;
    written << std::ifstream(file).rdbuf();
    EXPECT_EQ(written.str() + "\n", page);
    std::string mail = ok({"grocery", "mail"});
    EXPECT_EQ(mail.rfind("mailto:?subject=Grocery%20List&body=", 0), 0u) << mail;
    EXPECT_NE(mail.find("%E2%9C%93%202%20apples"), std::string::npos) << mail;

    EXPECT_EQ(ok({"grocery", "clear", "--purchased"}), "Cleared the purchased items.\n");
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe"}),
              "My Items\n   1  milk\nSoup\n   2  1 onion\n");
    EXPECT_EQ(run({"grocery", "remove-recipe", "Pie"}).exitCode, 1);
    EXPECT_EQ(ok({"grocery", "remove-recipe", "Soup"}),
              "Removed \"Soup\" from the grocery list.\n");
    EXPECT_EQ(ok({"grocery", "list", "--by", "recipe"}), "My Items\n   1  milk\n");
    EXPECT_EQ(ok({"grocery", "clear"}), "Cleared the grocery list.\n");
    EXPECT_EQ(ok({"grocery", "list"}), "No items.\n");
}

}  // namespace
}  // namespace miravel
