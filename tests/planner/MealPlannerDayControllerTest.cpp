#include "planner/MealPlannerDayController.h"

#include <string>
#include <vector>

#include "lib/DateStyles.h"
#include "planner/PlannerTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::kNewYork;
using testing::local;
using testing::PlannerTest;
using testing::ScopedTimeZone;

class RecordingDayDelegate : public MealPlannerDayDelegate {
public:
    std::size_t runCriticalAlert(const std::string& message,
                                 const std::vector<std::string>& buttons) override {
        questions.push_back(message);
        shownButtons = buttons;
        return answer;
    }
    void editMeal(const std::shared_ptr<Meal>& meal, Timestamp day) override {
        edited.emplace_back(meal, day);
    }

    std::size_t answer = 0;
    std::vector<std::string> questions, shownButtons;
    std::vector<std::pair<std::shared_ptr<Meal>, Timestamp>> edited;
};

class MealPlannerDayControllerTest : public PlannerTest {
protected:
    // The rows as text: headers as they are, meals as "- name".
    std::vector<std::string> rowTexts() {
        std::vector<std::string> texts;
        for (const auto& row : m_day().rows()) {
            if (const auto* header = std::get_if<std::string>(&row)) {
                texts.push_back(*header);
            } else {
                texts.push_back("- " +
                                std::get<std::shared_ptr<Meal>>(row)->mealName().value_or(""));
            }
        }
        return texts;
    }

    ScopedTimeZone m_zone{kNewYork};
    RecordingDayDelegate m_delegate;
    void SetUp() override {
        PlannerTest::SetUp();
        m_list = std::make_unique<MealPlannerDayController>(*m_main, &m_delegate);
    }

    std::unique_ptr<MealPlannerDayController> m_list;
    MealPlannerDayController& m_day() { return *m_list; }
};

TEST_F(MealPlannerDayControllerTest, groupsTheDaysMealsUnderTypeHeaders) {
    auto pie = recipe("Pie");
    meal("2026-03-10", 2, "Soup", nullptr, 2);
    meal("2026-03-10", 2, "", pie, 1);
    meal("2026-03-10", 0, "Toast", nullptr, 3);
    meal("2026-03-10", 2, "bread", nullptr, 2);  // same flag as Soup: by name, ignoring case
    meal("2026-03-11", 1, "Tomorrow");
    meal("2026-03-10", 3, "Gone")->setStatus(kStatusDeleted);
    settle();

    m_day().setDate(local("2026-03-10 18:00:00"));
    EXPECT_EQ(formatDateText(m_day().date()), "2026-03-10 00:00:00");
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Breakfast", "- Toast", "Dinner", "- Pie",
                                                    "- bread", "- Soup"}));
    EXPECT_EQ(m_day().meals().size(), 4u);
    EXPECT_FALSE(m_day().showsNoMeals());
    EXPECT_EQ(m_day().titleText(), fullDateText(local("2026-03-10")));
    EXPECT_EQ(m_day().lastOrderFlag(), 3);

    m_day().setDate(local("2026-03-12"));
    EXPECT_TRUE(m_day().showsNoMeals());
    EXPECT_EQ(m_day().lastOrderFlag(), 0);
    meal("2026-03-12", 1, "Late addition");
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Lunch", "- Late addition"}));
}

TEST_F(MealPlannerDayControllerTest, deletingAsksThenRemovesOrLeavesATombstone) {
    struct Case {
        bool signedIn;
        std::size_t answer;
        bool deleted;
        std::size_t stored;
        const char* status;
    };
    const std::vector<Case> cases = {
        {false, 1, false, 1, kStatusUnmodified},
        {false, 0, true, 0, ""},
        {true, 0, true, 1, kStatusDeleted},
    };
    for (const auto& c : cases) {
        setLoggedIn(c.signedIn);
        for (const auto& old : all<Meal>(*m_main)) {
            m_main->deleteObject(old);
        }
        meal("2026-03-10", 2, "Soup");
        m_day().setDate(local("2026-03-10"));
        m_delegate.answer = c.answer;
        m_delegate.questions.clear();

        EXPECT_EQ(m_day().deleteMeal(0), false) << "a header row";
        EXPECT_TRUE(m_delegate.questions.empty());
        auto result = m_day().deleteMeal(1);
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, c.deleted);
        EXPECT_EQ(m_delegate.questions,
                  std::vector<std::string>{
                      "Are you sure you want to remove this recipe from the meal planner?"});
        EXPECT_EQ(m_delegate.shownButtons, (std::vector<std::string>{"Delete", "Cancel"}));
        m_main->processPendingChanges();
        EXPECT_EQ(m_day().showsNoMeals(), c.deleted);
        auto stored = all<Meal>(*freshContext());
        ASSERT_EQ(stored.size(), c.stored) << c.signedIn << c.answer;
        if (!stored.empty()) {
            EXPECT_EQ(stored[0]->status(), c.status);
        }
    }
}

TEST_F(MealPlannerDayControllerTest, menuItemsNeedAMealRow) {
    meal("2026-03-10", 0, "Toast");
    meal("2026-03-10", 1, "", recipe("Pie"));
    m_day().setDate(local("2026-03-10"));  // Breakfast, Toast, Lunch, Pie
    struct Case {
        DayMenuAction action;
        std::optional<std::size_t> row;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {DayMenuAction::AddMeal, std::nullopt, true},
        {DayMenuAction::AddMeal, 0, true},
        {DayMenuAction::EditMeal, 0, false},
        {DayMenuAction::EditMeal, 1, true},
        {DayMenuAction::EditMeal, std::nullopt, false},
        {DayMenuAction::DeleteMeal, 2, false},
        {DayMenuAction::DeleteMeal, 3, true},
        {DayMenuAction::DeleteMeal, 4, false},
        // A meal with only a name has nothing to open.
        {DayMenuAction::OpenRecipe, 1, false},
        {DayMenuAction::OpenRecipe, 3, true},
        {DayMenuAction::OpenRecipeInNewWindow, 2, false},
        {DayMenuAction::OpenRecipeInNewWindow, 3, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_day().validateMenuItem(c.action, c.row), c.enabled)
            << static_cast<int>(c.action) << " row " << c.row.value_or(99);
    }

    m_day().addMeal();
    m_day().editMeal(0);
    m_day().editMeal(1);
    ASSERT_EQ(m_delegate.edited.size(), 2u);
    EXPECT_EQ(m_delegate.edited[0].first, nullptr);
    EXPECT_EQ(m_delegate.edited[0].second, local("2026-03-10"));
    EXPECT_EQ(m_delegate.edited[1].first->name(), "Toast");
}

TEST_F(MealPlannerDayControllerTest, onlyMealRowsAreDragged) {
    auto toast = meal("2026-03-10", 0, "Toast");
    m_day().setDate(local("2026-03-10"));
    EXPECT_FALSE(m_day().dragPayload({0}));
    EXPECT_FALSE(m_day().dragPayload({}));
    EXPECT_FALSE(m_day().dragPayload({1, 0}));
    EXPECT_FALSE(m_day().dragPayload({2}));
    auto payload = m_day().dragPayload({1});
    ASSERT_TRUE(payload);
    EXPECT_EQ(m_day().mealForPayload(*payload), toast);
}

}  // namespace
}  // namespace miravel
