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

}  // namespace
}  // namespace miravel
