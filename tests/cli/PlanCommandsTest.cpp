#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
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

    for (const char* bad : {"8 March", "2026-3-8", "2026-03-08 12:00:00"}) {
        auto refused = runMiravel(home.path(), {"plan", "week", "--date", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_EQ(refused.out, "") << bad;
        EXPECT_NE(refused.err.find("YYYY-MM-DD"), std::string::npos) << refused.err;
    }
    // The right form but no such day: say so, not the form again.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"plan", "week", "--date", "2026-02-30"},
          std::vector<std::string>{"plan", "day", "2026-02-30"},
          std::vector<std::string>{"plan", "move", "2026-03-01", "1", "2026-13-01"}}) {
        auto refused = runMiravel(home.path(), arguments);
        EXPECT_EQ(refused.exitCode, 2) << arguments[1];
        EXPECT_NE(refused.err.find(" is not a day."), std::string::npos) << refused.err;
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

    ASSERT_EQ(run({"settings", "set", "WeekStartDay", "2"}).exitCode, 0);
    auto week = run({"plan", "week", "--date", "2026-03-12"});
    EXPECT_EQ(week.out,
              "2026-03-09 Monday\n"
              "2026-03-10 Tuesday\n  Dinner: Leek soup\n  Snacks: Pie\n"
              "2026-03-11 Wednesday\n  Breakfast: Pie\n"
              "2026-03-12 Thursday\n2026-03-13 Friday\n2026-03-14 Saturday\n"
              "2026-03-15 Sunday\n")
        << week.err;
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
        {{"Pie", "--date", "2026-02-30", "--type", "lunch"}, 2, "2026-02-30 is not a day."},
        {{"Pie", "--date", "10 March", "--type", "lunch"}, 2, "YYYY-MM-DD"},
        {{"Pie", "--date", "2026-03-10", "--type", "brunch"}, 2, "breakfast, lunch"},
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

TEST(PlanCommands, addTakesTodayThePreselectedTypeAndTypesInAnyCase) {
    TemporaryFolder home;
    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", (home / "Kitchen").string()});
        return runMiravel(home.path(), arguments);
    };
    ASSERT_EQ(run({"recipe", "add", "--name", "Pie"}).exitCode, 0);
    auto today = run({"plan", "add", "Pie"});
    EXPECT_EQ(today.exitCode, 0) << today.err;
    EXPECT_EQ(today.out.substr(10), " Dinner: Pie (order 1)\n");
    auto week = run({"plan", "week"});
    EXPECT_NE(week.out.find(today.out.substr(0, 10)), std::string::npos) << week.out;
    EXPECT_NE(week.out.find("  Dinner: Pie"), std::string::npos) << week.out;

    ASSERT_EQ(run({"settings", "set", "SelectedMealType", "0"}).exitCode, 0);
    EXPECT_EQ(run({"plan", "add", "Pie", "--date", "2026-03-10"}).out,
              "2026-03-10 Breakfast: Pie (order 1)\n");
    const std::pair<const char*, const char*> types[] = {
        {"Dinner", "Dinner"}, {"LUNCH", "Lunch"}, {"snack", "Snacks"}, {"Snacks", "Snacks"}};
    for (const auto& [typed, shown] : types) {
        auto added = run({"plan", "add", "Pie", "--date", "2026-03-11", "--type", typed});
        EXPECT_NE(added.out.find(std::string(" ") + shown + ": Pie"), std::string::npos)
            << typed << " " << added.err;
    }
}

// A library with two recipes, for the verbs that work on planned meals.
class PlanLibrary {
public:
    PlanLibrary() : m_library((m_home / "Kitchen").string()) {
        EXPECT_EQ(run({"recipe", "add", "--name", "Leek soup", "--ingredients", "2 leeks\n1 onion"})
                      .exitCode,
                  0);
        EXPECT_EQ(run({"recipe", "add", "--name", "Pie"}).exitCode, 0);
    }
    testing::CommandOutput run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", m_library});
        return runMiravel(m_home.path(), arguments);
    }
    const TemporaryFolder& home() const { return m_home; }

private:
    TemporaryFolder m_home;
    std::string m_library;
};

TEST(PlanCommands, dayListsMealsUnderTypeHeadersAndEditChangesThem) {
    PlanLibrary kitchen;
    EXPECT_EQ(kitchen.run({"plan", "day", "2026-03-10"}).out,
              "Tuesday, March 10, 2026\nNo meals scheduled.\n");
    kitchen.run({"plan", "add", "Leek soup", "--date", "2026-03-10", "--type", "dinner"});
    kitchen.run({"plan", "add", "Pie", "--date", "2026-03-10", "--type", "breakfast"});
    auto day = kitchen.run({"plan", "day", "2026-03-10"});
    EXPECT_EQ(day.exitCode, 0) << day.err;
    EXPECT_EQ(day.out, "Tuesday, March 10, 2026\nBreakfast\n  1. Pie\nDinner\n  2. Leek soup\n");

    struct Case {
        std::vector<std::string> arguments;
        const char* printed;
        const char* dayAfter;
    };
    const std::vector<Case> cases = {
        {{"2026-03-10", "1", "--name", "Porridge", "--type", "snack"},
         "2026-03-10 Snacks: Porridge\n",
         "Tuesday, March 10, 2026\nDinner\n  1. Leek soup\nSnacks\n  2. Porridge\n"},
        {{"2026-03-10", "2", "--recipe", "Pie"},
         "2026-03-10 Snacks: Pie\n",
         "Tuesday, March 10, 2026\nDinner\n  1. Leek soup\nSnacks\n  2. Pie\n"},
        {{"2026-03-10", "1", "--date", "2026-03-11", "--type", "lunch"},
         "2026-03-11 Lunch: Leek soup\n",
         "Tuesday, March 10, 2026\nSnacks\n  1. Pie\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"plan", "edit"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        auto edited = kitchen.run(arguments);
        EXPECT_EQ(edited.exitCode, 0) << edited.err;
        EXPECT_EQ(edited.out, c.printed);
        EXPECT_EQ(kitchen.run({"plan", "day", "2026-03-10"}).out, c.dayAfter);
    }

    const std::vector<std::pair<std::vector<std::string>, int>> refused = {
        {{"2026-03-10", "2"}, 1},
        {{"2026-03-10", "0"}, 2},
        {{"2026-03-10", "x"}, 2},
        {{"10.3.2026", "1"}, 2},
        {{"2026-03-10", "1", "--type", "supper"}, 2},
        {{"2026-03-10", "1", "--name", "a", "--recipe", "Pie"}, 2},
        {{"2026-03-10", "1", "--recipe", "Cake"}, 1},
    };
    for (const auto& [arguments, code] : refused) {
        std::vector<std::string> words{"plan", "edit"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        EXPECT_EQ(kitchen.run(words).exitCode, code) << arguments[1];
    }
    EXPECT_EQ(kitchen.run({"plan", "day", "2026-03-10"}).out,
              "Tuesday, March 10, 2026\nSnacks\n  1. Pie\n");
}

TEST(PlanCommands, moveRefusesTheSameDayAndDeleteRemoves) {
    PlanLibrary kitchen;
    kitchen.run({"plan", "add", "Pie", "--date", "2026-03-10", "--type", "lunch"});
    auto same = kitchen.run({"plan", "move", "2026-03-10", "1", "2026-03-10"});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_NE(same.err.find("already"), std::string::npos) << same.err;

    auto moved = kitchen.run({"plan", "move", "2026-03-10", "1", "2026-03-12"});
    EXPECT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_EQ(moved.out, "2026-03-12 Lunch: Pie\n");
    EXPECT_EQ(kitchen.run({"plan", "day", "2026-03-12"}).out,
              "Thursday, March 12, 2026\nLunch\n  1. Pie\n");

    auto removed = kitchen.run({"plan", "delete", "2026-03-12", "1"});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_EQ(removed.out, "Removed 2026-03-12 Lunch: Pie\n");
    EXPECT_EQ(kitchen.run({"plan", "day", "2026-03-12"}).out,
              "Thursday, March 12, 2026\nNo meals scheduled.\n");
    EXPECT_EQ(kitchen.run({"plan", "delete", "2026-03-12", "1"}).exitCode, 1);
}

TEST(PlanCommands, printAndMailTheWeekIncludingItsLastDay) {
    PlanLibrary kitchen;
    ASSERT_EQ(kitchen.run({"settings", "set", "WeekStartDay", "2"}).exitCode, 0);
    ASSERT_EQ(kitchen.run({"settings", "set", "DefaultEmail", "me@example.org"}).exitCode, 0);
    // Sunday, the week's last day: the week's query ends at that day's start.
    kitchen.run({"plan", "add", "Pie", "--date", "2026-03-15", "--type", "dinner"});
    kitchen.run({"plan", "add", "Leek soup", "--date", "2026-03-09", "--type", "lunch"});

    auto week = kitchen.run({"plan", "print", "--week", "--date", "2026-03-11"});
    EXPECT_EQ(week.exitCode, 0) << week.err;
    EXPECT_NE(week.out.find("<p>Lunch: Leek soup</p>"), std::string::npos) << week.out;
    EXPECT_NE(week.out.find("<p>Dinner: Pie</p>"), std::string::npos) << week.out;

    const auto file = kitchen.home() / "day.html";
    auto day = kitchen.run({"plan", "print", "--day", "2026-03-15", "--output", file.string()});
    EXPECT_EQ(day.exitCode, 0) << day.err;
    EXPECT_EQ(day.out, "");
    std::ifstream page(file);
    std::string html((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    EXPECT_NE(html.find("Sunday, March 15, 2026"), std::string::npos) << html;
    EXPECT_NE(html.find("<p>Dinner: Pie</p>"), std::string::npos) << html;
    EXPECT_EQ(html.find("Leek soup"), std::string::npos) << html;
    EXPECT_EQ(kitchen.run({"plan", "print", "--day", "2026-03-15", "--week"}).exitCode, 2);

    auto mail = kitchen.run({"plan", "mail", "--date", "2026-03-15"});
    EXPECT_EQ(mail.exitCode, 0) << mail.err;
    EXPECT_EQ(mail.out.rfind("mailto:me@example.org?subject=Meal%20Plan,%20", 0), 0u) << mail.out;
    EXPECT_NE(mail.out.find("Dinner:%20Pie"), std::string::npos) << mail.out;
    EXPECT_NE(mail.out.find("Lunch:%20Leek%20soup"), std::string::npos) << mail.out;
}

TEST(PlanCommands, toGroceryAddsTheIngredientsOfTheDayOrWeek) {
    PlanLibrary kitchen;
    kitchen.run({"plan", "add", "Leek soup", "--date", "2026-03-10", "--type", "dinner"});
    kitchen.run({"plan", "add", "Pie", "--date", "2026-03-11", "--type", "dinner"});
    EXPECT_EQ(kitchen.run({"plan", "to-grocery", "--day", "2026-03-12"}).exitCode, 1);

    auto day = kitchen.run({"plan", "to-grocery", "--day", "2026-03-10"});
    EXPECT_EQ(day.exitCode, 0) << day.err;
    EXPECT_EQ(day.out, "2 leeks\n1 onion\nMeals added to grocery list.\n");
    auto empty = kitchen.run({"plan", "to-grocery", "--day", "2026-03-11"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_NE(empty.err.find("no ingredients"), std::string::npos) << empty.err;

    auto week = kitchen.run({"plan", "to-grocery", "--week", "--date", "2026-03-11"});
    EXPECT_EQ(week.exitCode, 0) << week.err;
    EXPECT_EQ(week.out, "2 leeks\n1 onion\nMeals added to grocery list.\n");
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"plan", "to-grocery"},
             {"plan", "to-grocery", "--week", "--day", "2026-03-10"},
             {"plan", "to-grocery", "--day", "2026-03-10", "--date", "2026-03-10"},
             {"plan", "to-grocery", "--day", "March"}}) {
        EXPECT_EQ(kitchen.run(bad).exitCode, 2) << bad.back();
    }
}

}  // namespace
}  // namespace miravel
