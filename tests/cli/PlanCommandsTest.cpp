#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::TemporaryFolder;

TEST(PlanCommands, weekListsTheDaysFromTheChosenFirstWeekday) {
    TemporaryFolder home;
    struct Case {
        const char* weekStartDay;
        const char* date;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"2", "2026-03-08",
         "2026-03-02 Monday\n2026-03-03 Tuesday\n2026-03-04 Wednesday\n2026-03-05 Thursday\n"
         "2026-03-06 Friday\n2026-03-07 Saturday\n2026-03-08 Sunday\n"},
        {"1", "2026-03-08",
         "2026-03-08 Sunday\n2026-03-09 Monday\n2026-03-10 Tuesday\n2026-03-11 Wednesday\n"
         "2026-03-12 Thursday\n2026-03-13 Friday\n2026-03-14 Saturday\n"},
        {"7", "2026-01-01",
         "2025-12-27 Saturday\n2025-12-28 Sunday\n2025-12-29 Monday\n2025-12-30 Tuesday\n"
         "2025-12-31 Wednesday\n2026-01-01 Thursday\n2026-01-02 Friday\n"},
    };
    for (const auto& c : cases) {
        auto set = runMiravel(home.path(), {"settings", "set", "WeekStartDay", c.weekStartDay});
        ASSERT_EQ(set.exitCode, 0) << set.err;
        auto week = runMiravel(home.path(), {"plan", "week", "--date", c.date});
        EXPECT_EQ(week.exitCode, 0) << week.err;
        EXPECT_EQ(week.out, c.expected) << c.weekStartDay << " " << c.date;
    }
}

TEST(PlanCommands, weekWithoutADateShowsSevenDaysAndRefusesBadDates) {
    TemporaryFolder home;
    auto today = runMiravel(home.path(), {"plan", "week"});
    EXPECT_EQ(today.exitCode, 0) << today.err;
    EXPECT_EQ(std::count(today.out.begin(), today.out.end(), '\n'), 7);

    for (const char* bad : {"2026-02-30", "8 March", "2026-3-8", "2026-03-08 12:00:00"}) {
        auto refused = runMiravel(home.path(), {"plan", "week", "--date", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_EQ(refused.out, "") << bad;
        EXPECT_NE(refused.err.find("YYYY-MM-DD"), std::string::npos) << refused.err;
    }
}

TEST(PlanCommands, addNumbersTheMealsOfADayInOrder) {
    TemporaryFolder home;
    auto library = (home / "Kitchen").string();
    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", library});
        return runMiravel(home.path(), arguments);
    };
    ASSERT_EQ(run({"recipe", "add", "--name", "Leek soup"}).exitCode, 0);
    auto pie = run({"recipe", "add", "--name", "Pie"});
    ASSERT_EQ(pie.exitCode, 0) << pie.err;
    const std::string pieUid = pie.out.substr(0, pie.out.find('\n'));

    auto first = run({"plan", "add", "Leek soup", "--date", "2026-03-10", "--type", "dinner"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "2026-03-10 Dinner: Leek soup (order 1)\n");
    auto second = run({"plan", "add", pieUid, "--date", "2026-03-10", "--type", "snacks"});
    EXPECT_EQ(second.out, "2026-03-10 Snacks: Pie (order 2)\n") << second.err;
    auto otherDay = run({"plan", "add", "Pie", "--date", "2026-03-11", "--type", "breakfast"});
    EXPECT_EQ(otherDay.out, "2026-03-11 Breakfast: Pie (order 1)\n") << otherDay.err;
}

TEST(PlanCommands, addRefusesBadInput) {
    TemporaryFolder home;
    auto library = (home / "Kitchen").string();
    ASSERT_EQ(
        runMiravel(home.path(), {"--library", library, "recipe", "add", "--name", "Pie"}).exitCode,
        0);
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"Pie", "--date", "2026-02-30", "--type", "lunch"}, 2, "YYYY-MM-DD"},
        {{"Pie", "--type", "lunch"}, 2, "YYYY-MM-DD"},
        {{"Pie", "--date", "2026-03-10", "--type", "brunch"}, 2, "breakfast, lunch"},
        {{"Pie", "--date", "2026-03-10"}, 2, "breakfast, lunch"},
        {{"Cake", "--date", "2026-03-10", "--type", "lunch"}, 1, "Cake"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--library", library, "plan", "add"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        auto refused = runMiravel(home.path(), arguments);
        EXPECT_EQ(refused.exitCode, c.exitCode) << c.message;
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    }
}

}  // namespace
}  // namespace miravel
