#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lib/JsonParser.h"
#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class InputValidationTest : public KitchenTest {
protected:
    void expectRefused(const std::vector<std::string>& arguments, int exitCode,
                       const std::string& message) {
        auto output = run(arguments);
        EXPECT_EQ(output.exitCode, exitCode) << arguments[1] << ": " << output.err;
        EXPECT_EQ(output.out, "") << arguments[1];
        EXPECT_TRUE(contains(output.err, message)) << output.err;
    }
};

// Bytes that are not UTF-8 would be stored as given and then make "show --json" print text
// no JSON reader accepts; they are refused where they enter, naming the argument.
TEST_F(InputValidationTest, textThatIsNotUtf8IsRefusedNamingTheArgument) {
    ok({"recipe", "add", "--name", "Pie"});
    expectRefused({"recipe", "add", "--name", "Bad\xFF"}, 2, "--name is not valid UTF-8");
    expectRefused({"recipe", "add", "--name", "Pie", "--notes", "caf\xC3"}, 2,
                  "--notes is not valid UTF-8");
    expectRefused({"recipe", "edit", "Pie", "--directions=\xC0\xAF"}, 2,
                  "--directions is not valid UTF-8");
    expectRefused({"recipe", "show", "Pi\xE9"}, 2, "NAME|UID is not valid UTF-8");
    expectRefused({"category", "rename", "Pie", "Cr\xE8me"}, 2, "NEW is not valid UTF-8");
    expectRefused({"grocery", "new", "\xED\xA0\x80 eggs"}, 2, "not valid UTF-8");
    const std::string list = ok({"recipe", "list"});
    EXPECT_TRUE(contains(list, "Pie")) << list;
    EXPECT_FALSE(contains(list, "Bad")) << list;

    // Valid text of any script passes untouched.
    ok({"recipe", "add", "--name", "Crème brûlée \xF0\x9F\x8D\xAE"});
    auto shown = run({"recipe", "show", "Crème brûlée \xF0\x9F\x8D\xAE", "--json"});
    auto parsed = JsonParser::parse(shown.out);
    ASSERT_TRUE(parsed) << parsed.error().description;
    EXPECT_EQ(parsed->asObject().find("name")->asString(), "Crème brûlée \xF0\x9F\x8D\xAE");
}

// The add verb refuses a blank name; edit and the meal planner must not let one in either.
TEST_F(InputValidationTest, blankNamesAreRefusedByAddAndEditAlike) {
    ok({"recipe", "add", "--name", "Pie"});
    for (const char* blank : {"", "   ", "\t\n"}) {
        expectRefused({"recipe", "add", "--name", blank}, 2, "--name needs a name");
        expectRefused({"recipe", "edit", "Pie", "--name", blank}, 2, "--name needs a name");
    }
    EXPECT_TRUE(contains(ok({"recipe", "show", "Pie"}), "Pie\n"));

    ok({"plan", "add", "Pie", "--date", "2026-03-10", "--type", "lunch"});
    for (const char* blank : {"", "  "}) {
        expectRefused({"plan", "edit", "2026-03-10", "1", "--name", blank}, 2,
                      "--name needs a meal name");
    }
    EXPECT_EQ(ok({"plan", "day", "2026-03-10"}), "Tuesday, March 10, 2026\nLunch\n  1. Pie\n");
    ok({"plan", "edit", "2026-03-10", "1", "--name", "  Leftovers "});
    EXPECT_EQ(ok({"plan", "day", "2026-03-10"}),
              "Tuesday, March 10, 2026\nLunch\n  1. Leftovers\n");
}

TEST_F(InputValidationTest, groceryPreviewShowsOnlyTheChosenRows) {
    ok({"recipe", "add", "--name", "Pancakes", "--ingredients", "1 cup milk\n2 eggs\nsalt"});
    EXPECT_EQ(ok({"grocery", "add", "Pancakes", "--only", "1,3", "--preview"}),
              "1\t1 cup milk\n3\tsalt\n");
    expectRefused({"grocery", "add", "Pancakes", "--only", "4", "--preview"}, 1, "no row 4");
    EXPECT_EQ(ok({"grocery", "list"}), "No items.\n");
}

// One line per row and one field per tab, whatever a name holds.
TEST_F(InputValidationTest, tabsAndLineBreaksInNamesAreEscapedInTabSeparatedOutput) {
    ok({"category", "add", "Quick\tand\\easy"});
    ok({"recipe", "add", "--name", "Two\nlines", "--ingredients", "salt\tpepper", "--categories",
        "Quick\tand\\easy"});
    const std::string categories = ok({"category", "list"});
    EXPECT_TRUE(categories.starts_with("1\tQuick\\tand\\\\easy\t")) << categories;
    const std::string recipes = ok({"recipe", "list"});
    EXPECT_TRUE(contains(recipes, "\tTwo\\nlines\n")) << recipes;
    const std::string rows = ok({"grocery", "add", "Two\nlines", "--preview"});
    EXPECT_EQ(std::ranges::count(rows, '\t'), 1) << rows;
    EXPECT_EQ(std::ranges::count(rows, '\n'), 1) << rows;
    EXPECT_TRUE(contains(rows, "\\t")) << rows;
}

TEST_F(InputValidationTest, settingsTakeWhatTheHelpSaysAndListFlagsBadStoredValues) {
    struct Case {
        const char* key;
        const char* value;
        const char* stored;  // what "settings get" prints after, or nullptr when refused
    };
    const Case cases[] = {
        {"GroceryListAisles", "false", "false"},   {"GroceryListAisles", "TRUE", "true"},
        {"GroceryListAisles", "yes", nullptr},     {"GroceryListAisles", "1", nullptr},
        {"AlphabetizeCategories", "off", nullptr}, {"WeekStartDay", "monday", "2"},
        {"WeekStartDay", "Saturday", "7"},         {"WeekStartDay", "7", "7"},
        {"WeekStartDay", "Mon", nullptr},          {"WeekStartDay", "0", nullptr},
        {"SelectedMealType", "dinner", "2"},       {"SelectedMealType", "supper", nullptr},
    };
    for (const auto& c : cases) {
        auto set = run({"settings", "set", c.key, c.value});
        if (c.stored == nullptr) {
            EXPECT_EQ(set.exitCode, 2) << c.key << " " << c.value;
            EXPECT_TRUE(contains(set.err, "is no value for")) << set.err;
        } else {
            EXPECT_EQ(set.exitCode, 0) << c.key << " " << c.value << set.err;
            EXPECT_EQ(ok({"settings", "get", c.key}), std::string(c.stored) + "\n");
        }
    }

    // A file edited by hand (or by an older version) may hold what "set" would refuse.
    ok({"settings", "set", "WeekStartDay", "2"});
    const auto file = m_home / "config" / "Miravel" / "Settings.json";
    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    std::ofstream(file, std::ios::trunc)
        << R"({"FontSize": "Huge", "GroceryListAisles": "yes", "WeekStartDay": 9,)"
        << R"( "SelectedMealType": 1})";
    const std::string listed = ok({"settings", "list"});
    EXPECT_TRUE(contains(listed, "FontSize = Huge  (not valid: expected one of \"Tiny\""))
        << listed;
    EXPECT_TRUE(contains(listed, "GroceryListAisles = yes  (not valid: expected true or false)"))
        << listed;
    EXPECT_TRUE(contains(listed, "WeekStartDay = 9  (not valid: expected a day from 1")) << listed;
    EXPECT_TRUE(contains(listed, "SelectedMealType = 1\n")) << listed;
    ok({"settings", "set", "WeekStartDay", "monday"});
    EXPECT_TRUE(contains(ok({"settings", "list"}), "WeekStartDay = 2 (Monday)\n"));
}

}  // namespace
}  // namespace miravel
