#include "planner/MealPlannerWeekController.h"

#include <string>
#include <vector>

#include "lib/Log.h"
#include "planner/MealPlannerDayController.h"
#include "planner/PlannerTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::dayText;
using testing::dayTexts;
using testing::kBerlin;
using testing::kNewYork;
using testing::local;
using testing::PlannerTest;
using testing::ScopedTimeZone;

class RecordingWeekDelegate : public MealPlannerWeekDelegate {
public:
    void weekDidChange(const std::string& text) override { title = text; }
    void presentIngredientChooser(ChooseIngredientsController& shown) override { chooser = &shown; }
    void showNotice(const std::string& text) override { notices.push_back(text); }

    std::string title;
    ChooseIngredientsController* chooser = nullptr;
    std::vector<std::string> notices;
};

class MealPlannerWeekControllerTest : public PlannerTest {
protected:
    std::unique_ptr<MealPlannerWeekController> controller(const std::string& today) {
        const Timestamp now = local(today + " 15:00:00");
        return std::make_unique<MealPlannerWeekController>(
            *m_main, *m_settings, m_center, &m_delegate, m_list.get(), [now] { return now; });
    }

    RecordingWeekDelegate m_delegate;
    void SetUp() override {
        PlannerTest::SetUp();
        m_list = std::make_unique<MealPlannerDayController>(*m_main, nullptr);
    }

    std::unique_ptr<MealPlannerDayController> m_list;
    MealPlannerDayController& m_day() { return *m_list; }
};

TEST_F(MealPlannerWeekControllerTest, showsTodaysWeekFromTheChosenWeekdayWithTodaySelected) {
    ScopedTimeZone zone(kNewYork);
    struct Case {
        int weekStartDay;
        std::string first, last;
        int todayRow;
    };
    // Wednesday 2026-03-11.
    const std::vector<Case> cases = {
        {2, "2026-03-09", "2026-03-15", 2},
        {1, "2026-03-08", "2026-03-14", 3},
        {4, "2026-03-11", "2026-03-17", 0},
    };
    for (const auto& c : cases) {
        m_settings->setInteger("WeekStartDay", c.weekStartDay);
        auto week = controller("2026-03-11");
        EXPECT_EQ(dayText(week->week().front()), c.first) << c.weekStartDay;
        EXPECT_EQ(dayText(week->week().back()), c.last) << c.weekStartDay;
        EXPECT_EQ(week->selectedRow(), c.todayRow) << c.weekStartDay;
        EXPECT_EQ(dayText(m_day().date()), "2026-03-11");
        EXPECT_EQ(m_delegate.title, week->weekString());
    }
}

TEST_F(MealPlannerWeekControllerTest, changingTheFirstWeekdayReturnsToTodaysWeek) {
    ScopedTimeZone zone(kNewYork);
    auto week = controller("2026-03-11");
    week->nextWeek();
    week->nextWeek();
    EXPECT_EQ(dayText(week->week().front()), "2026-03-23");
    EXPECT_EQ(week->selectedRow(), 0);

    m_settings->setInteger("WeekStartDay", 1);
    EXPECT_EQ(dayTexts(week->week()).front(), "2026-03-08 00:00:00");
    EXPECT_EQ(dayTexts(week->week()).back(), "2026-03-14 00:00:00");
    EXPECT_EQ(week->selectedRow(), 3);
    EXPECT_EQ(dayText(m_day().date()), "2026-03-11");
}

TEST_F(MealPlannerWeekControllerTest, steppingWeeksAcrossDaylightSavingChanges) {
    struct Case {
        const char* zone;
        int weekStartDay;
        const char* today;
        const char* next;  // first day after nextWeek
    };
    const std::vector<Case> cases = {
        // Spring: the week that loses an hour.
        {kNewYork, 2, "2026-03-04", "2026-03-09"},
        {kBerlin, 2, "2026-03-25", "2026-03-30"},
        {kNewYork, 1, "2026-03-04", "2026-03-08"},
        // Autumn: the week that gains an hour; stepping by plain seconds would show it again.
        {kNewYork, 2, "2026-10-28", "2026-11-02"},
        {kNewYork, 1, "2026-10-28", "2026-11-01"},
        {kBerlin, 2, "2026-10-21", "2026-10-26"},
        {kBerlin, 1, "2026-10-21", "2026-10-25"},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        m_settings->setInteger("WeekStartDay", c.weekStartDay);
        auto week = controller(c.today);
        const auto start = dayTexts(week->week());
        week->nextWeek();
        const auto after = dayTexts(week->week());
        EXPECT_EQ(after.front(), std::string(c.next) + " 00:00:00") << c.zone << " " << c.today;
        EXPECT_EQ(dayText(m_day().date()), c.next);
        week->nextWeek();
        week->prevWeek();
        EXPECT_EQ(dayTexts(week->week()), after) << c.zone << " " << c.today;
        week->prevWeek();
        EXPECT_EQ(dayTexts(week->week()), start) << c.zone << " " << c.today;
    }
}

TEST_F(MealPlannerWeekControllerTest, chooseWeekShowsTheWeekHoldingTheDate) {
    ScopedTimeZone zone(kBerlin);
    auto week = controller("2026-03-11");
    week->chooseWeek(local("2026-10-25 23:30:00"));
    EXPECT_EQ(dayText(week->week().front()), "2026-10-19");
    EXPECT_EQ(week->selectedRow(), 0);
    EXPECT_EQ(dayText(m_day().date()), "2026-10-19");
}

TEST(ProposedWeekSpan, startsAtTheWeekOrAtTheFirstOfTheMonth) {
    ScopedTimeZone zone(kNewYork);
    struct Case {
        int firstWeekday;
        const char* proposed;
        const char* start;
        const char* end;
    };
    const std::vector<Case> cases = {
        {2, "2026-04-08 10:00:00", "2026-04-06", "2026-04-12"},
        {2, "2026-04-02 10:00:00", "2026-04-01", "2026-04-05"},
        {2, "2026-01-01 10:00:00", "2026-01-01", "2026-01-04"},
        {1, "2026-03-01 10:00:00", "2026-03-01", "2026-03-07"},
        {1, "2026-03-31 10:00:00", "2026-03-29", "2026-04-04"},
    };
    for (const auto& c : cases) {
        const auto span = proposedWeekSpan(WeekCalendar(c.firstWeekday), local(c.proposed));
        EXPECT_EQ(formatDateText(span.start), std::string(c.start) + " 00:00:00") << c.proposed;
        EXPECT_EQ(formatDateText(span.end), std::string(c.end) + " 00:00:00") << c.proposed;
    }
}

TEST_F(MealPlannerWeekControllerTest, rowsOutsideTheWeekAreRefusedAndLogged) {
    ScopedTimeZone zone(kNewYork);
    auto week = controller("2026-03-11");
    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    EXPECT_FALSE(week->selectRow(-1));
    EXPECT_FALSE(week->selectRow(7));
    EXPECT_TRUE(week->selectRow(6));
    setLogSink(previous);
    EXPECT_EQ(lines, std::vector<std::string>(2, "Row is beyond the bounds of week array"));
    EXPECT_EQ(dayText(m_day().date()), "2026-03-15");
}

TEST_F(MealPlannerWeekControllerTest, listsTheWeeksLiveMealsAndRecipesInOrder) {
    ScopedTimeZone zone(kNewYork);
    auto soup = recipe("Soup");
    auto pie = recipe("Pie");
    auto week = controller("2026-03-11");
    meal("2026-03-08", 0, "", soup);  // the Sunday before
    meal("2026-03-10", 2, "", pie);
    meal("2026-03-10", 0, "Toast");
    meal("2026-03-09", 1, "", soup);
    meal("2026-03-15", 2, "", soup);  // the last day, at its start
    meal("2026-03-16", 2, "", pie);   // the Monday after
    meal("2026-03-12", 3, "", pie)->setStatus(kStatusDeleted);
    settle();

    std::vector<std::string> names;
    for (const auto& each : week->meals()) {
        names.push_back(dayText(*each->date()) + " " + each->mealName().value_or(""));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"2026-03-09 Soup", "2026-03-10 Toast",
                                               "2026-03-10 Pie", "2026-03-15 Soup"}));
    EXPECT_EQ(week->mealsForDay(local("2026-03-10 20:00:00")).size(), 2u);
    EXPECT_EQ(week->recipesForWeek(), (std::vector<std::shared_ptr<Recipe>>{soup, pie, soup}));
    EXPECT_EQ(week->recipesForDay(local("2026-03-10")),
              (std::vector<std::shared_ptr<Recipe>>{pie}));
    EXPECT_TRUE(week->recipesForDay(local("2026-03-11")).empty());
}

TEST_F(MealPlannerWeekControllerTest, dropsMoveAMealToAnotherDayOnly) {
    ScopedTimeZone zone(kNewYork);
    auto week = controller("2026-03-11");  // Monday 9 ... Sunday 15
    auto tuesday = meal("2026-03-10", 2, "Soup");
    week->selectRow(1);
    ASSERT_EQ(m_day().meals().size(), 1u);
    auto payload = m_day().dragPayload({1});
    ASSERT_TRUE(payload);
    ASSERT_EQ(m_day().mealForPayload(*payload), tuesday);

    EXPECT_FALSE(week->validateDrop(*tuesday, 1));
    EXPECT_FALSE(week->acceptDrop(tuesday, 1));
    EXPECT_FALSE(week->validateDrop(*tuesday, 7));
    EXPECT_EQ(tuesday->status(), kStatusUnmodified);

    EXPECT_TRUE(week->validateDrop(*tuesday, 3));
    ASSERT_TRUE(week->acceptDrop(tuesday, 3));
    m_main->processPendingChanges();
    EXPECT_EQ(formatDateText(*tuesday->date()), "2026-03-12 00:00:00");
    EXPECT_EQ(tuesday->status(), kStatusModified);
    EXPECT_TRUE(m_day().meals().empty());
    EXPECT_EQ(week->mealsForDay(local("2026-03-12")).size(), 1u);
    auto stored = all<Meal>(*freshContext());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(formatDateText(*stored[0]->date()), "2026-03-12 00:00:00");
}

TEST_F(MealPlannerWeekControllerTest, addingToTheGroceryListOpensTheChooserAndTellsWhenDone) {
    ScopedTimeZone zone(kNewYork);
    auto soup = recipe("Soup", "2 leeks\n1 onion");
    auto week = controller("2026-03-11");
    meal("2026-03-10", 2, "", soup);
    meal("2026-03-11", 2, "", soup);

    week->addDayToGroceryList();  // Wednesday is selected
    ASSERT_NE(m_delegate.chooser, nullptr);
    EXPECT_EQ(m_delegate.chooser->items().size(), 2u);
    m_delegate.chooser->cancelPressed();
    EXPECT_TRUE(m_delegate.notices.empty());

    week->addWeekToGroceryList();
    ASSERT_EQ(m_delegate.chooser, week->ingredientChooser());
    EXPECT_EQ(m_delegate.chooser->items().size(), 4u);
    ASSERT_TRUE(m_delegate.chooser->donePressed());
    EXPECT_EQ(m_delegate.notices, std::vector<std::string>{"Meals added to grocery list."});
}

}  // namespace
}  // namespace miravel
