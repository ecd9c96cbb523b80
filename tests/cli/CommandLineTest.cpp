#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::TemporaryFolder;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, exitCodesSeparateSuccessFailureAndUsage) {
    TemporaryFolder home;
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inOut;
        std::string inErr;
    };
    const Case cases[] = {
        {{}, 0, "Usage: miravel", ""},
        {{"--help"}, 0, "Usage: miravel", ""},
        {{"cook"}, 2, "", "unknown command \"cook\""},
        {{"settings"}, 2, "", "Verbs:"},
        {{"settings", "--help"}, 0, "Verbs:", ""},
        {{"settings", "bake"}, 2, "", "unknown verb \"bake\""},
        {{"settings", "get"}, 2, "", "missing arguments"},
        {{"settings", "get", "a", "b"}, 2, "", "too many arguments"},
        {{"settings", "get", "--help"}, 0, "Usage: miravel [--library DIR] settings get", ""},
        {{"settings", "get", "Nonsense"}, 2, "", "unknown setting \"Nonsense\""},
        {{"settings", "get", "AccountEmail"}, 1, "", "has no value"},
        {{"settings", "list", "--fast"}, 2, "", "unknown option --fast."},
        {{"recipe", "list", "-x"}, 2, "", "unknown option -x."},
        {{"plan", "day", "-v", "2026-03-01"}, 2, "", "unknown option -v."},
        {{"--version"}, 0, "miravel 0.1.0\n", ""},
        {{"info", "--library"}, 2, "", "--library needs a folder"},
        {{"settings", "set", "FontSize", "Huge"}, 2, "", "expected one of \"Tiny\""},
        {{"settings", "set", "WeekStartDay", "8"}, 2, "", "1 (Sunday) to 7 (Saturday)"},
        {{"settings", "set", "GroceryListAisles", "maybe"}, 2, "", "true or false"},
        {{"settings", "set", "LastSyncedDate", "yesterday"}, 2, "", "yyyy-MM-dd HH:mm:ss"},
    };
    for (const auto& c : cases) {
        auto result = runMiravel(home.path(), c.arguments);
        std::string shown = c.arguments.empty() ? "(none)" : c.arguments[0];
        EXPECT_EQ(result.exitCode, c.exitCode) << shown << "\n" << result.err;
        EXPECT_TRUE(contains(result.out, c.inOut)) << shown << "\n" << result.out;
        EXPECT_TRUE(contains(result.err, c.inErr)) << shown << "\n" << result.err;
    }
}

TEST(CommandLine, infoNamesTheFoldersInUse) {
    TemporaryFolder home;
    auto defaults = runMiravel(home.path(), {"info"});
    EXPECT_EQ(defaults.exitCode, 0) << defaults.err;
    EXPECT_TRUE(contains(defaults.out, (home / "data" / "Miravel").string()));
    EXPECT_TRUE(contains(defaults.out, (home / "config" / "Miravel" / "Settings.json").string()));
    EXPECT_TRUE(contains(defaults.out, "share/miravel"));

    auto chosen = runMiravel(home.path(), {"info", "--library", (home / "Other").string()});
    EXPECT_TRUE(contains(chosen.out, (home / "Other" / "Miravel.sqlite").string())) << chosen.out;
}

TEST(CommandLine, settingsChangesPersistAndRemovalRestoresDefaults) {
    TemporaryFolder home;
    EXPECT_EQ(runMiravel(home.path(), {"settings", "set", "FontSize", "Extra Large"}).exitCode, 0);
    EXPECT_EQ(runMiravel(home.path(), {"settings", "set", "GroceryListAisles", "false"}).exitCode,
              0);
    EXPECT_EQ(runMiravel(home.path(), {"settings", "get", "FontSize"}).out, "Extra Large\n");
    EXPECT_EQ(runMiravel(home.path(), {"settings", "get", "GroceryListAisles"}).out, "false\n");

    auto listed = runMiravel(home.path(), {"settings", "list"});
    EXPECT_TRUE(contains(listed.out, "AlphabetizeCategories = true"));
    EXPECT_TRUE(contains(listed.out, "AccountEmail = (not set)"));

    auto removed = runMiravel(home.path(), {"settings", "remove", "FontSize"});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_EQ(runMiravel(home.path(), {"settings", "get", "FontSize"}).out, "Small\n");

    auto file = readFile(home / "config" / "Miravel" / "Settings.json");
    ASSERT_TRUE(file);
    auto parsed = JsonParser::parse(*file);
    ASSERT_TRUE(parsed && parsed->isObject());
    EXPECT_FALSE(parsed->member("GroceryListAisles")->asBoolean());
}

TEST(CommandLine, serverAddressIsTrimmedAndPlainHttpIsNamed) {
    TemporaryFolder home;
    auto remote = runMiravel(home.path(),
                             {"settings", "set", "ServiceBaseURL", " http://recipes.example.org "});
    EXPECT_EQ(remote.exitCode, 0);
    EXPECT_TRUE(contains(remote.err, "warning")) << remote.err;
    EXPECT_EQ(runMiravel(home.path(), {"settings", "get", "ServiceBaseURL"}).out,
              "http://recipes.example.org\n");
    auto loopback =
        runMiravel(home.path(), {"settings", "set", "ServiceBaseURL", "http://127.0.0.1:8080"});
    EXPECT_EQ(loopback.err, "");
    EXPECT_EQ(runMiravel(home.path(), {"settings", "get", "ServiceBaseURL"}).exitCode, 1)
        << "the default address leaves the setting unset";
}

}  // namespace
}  // namespace miravel
