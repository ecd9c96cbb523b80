#include "planner/EditMealController.h"

#include <string>
#include <vector>

#include "planner/MealRecipesController.h"
#include "planner/PlannerTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::kNewYork;
using testing::local;
using testing::PlannerTest;
using testing::ScopedTimeZone;

class EditMealControllerTest : public PlannerTest {
protected:
    ScopedTimeZone m_zone{kNewYork};
};

TEST_F(EditMealControllerTest, resetFieldsStartsANewMealByName) {
    m_settings->setInteger("SelectedMealType", 2);
    EditMealController editor(*m_main, *m_settings);
    EXPECT_EQ(editor.type(), 2);
    EXPECT_EQ(editor.mode(), EditMealController::Mode::Name);
    EXPECT_EQ(editor.recipeButtonTitle(), "Choose Recipe");
    EXPECT_TRUE(editor.isDoneEnabled());
    EXPECT_LT(std::chrono::abs(editor.date() - std::chrono::system_clock::now()),
              std::chrono::minutes(1));

    editor.setMode(EditMealController::Mode::Recipe);
    EXPECT_FALSE(editor.isDoneEnabled());
    EXPECT_FALSE(editor.donePressed());
    editor.setRecipe(recipe("Pie"));
    EXPECT_TRUE(editor.isDoneEnabled());
    EXPECT_EQ(editor.recipeButtonTitle(), "Pie");
    editor.cancelPressed();
    EXPECT_EQ(editor.recipe(), nullptr);
    EXPECT_EQ(editor.recipeButtonTitle(), "Choose Recipe");
}

TEST_F(EditMealControllerTest, aNewMealKeepsOnlyWhatItsModeSays) {
    struct Case {
        EditMealController::Mode mode;
        bool chooseRecipe;
        std::optional<std::string> name;
        bool hasRecipe;
    };
    const std::vector<Case> cases = {
        {EditMealController::Mode::Recipe, true, std::nullopt, true},
        {EditMealController::Mode::Name, true, "Leftovers", false},
        {EditMealController::Mode::Name, false, "Leftovers", false},
    };
    auto pie = recipe("Pie");
    meal("2026-03-10", 1, "Earlier", nullptr, 4);
    int expectedFlag = 5;
    for (const auto& c : cases) {
        EditMealController editor(*m_main, *m_settings);
        editor.setMode(c.mode);
        editor.setNameText("Leftovers");
        if (c.chooseRecipe) {
            editor.setRecipe(pie);
        }
        editor.setType(3);
        editor.setDate(local("2026-03-10 17:45:00"));
        auto saved = editor.donePressed();
        ASSERT_TRUE(saved);
        const auto& made = *saved;
        EXPECT_EQ(made->name(), c.name);
        EXPECT_EQ(made->recipe() != nullptr, c.hasRecipe);
        EXPECT_EQ(formatDateText(*made->date()), "2026-03-10 00:00:00");
        EXPECT_EQ(made->type(), 3);
        EXPECT_EQ(made->status(), kStatusModified);
        EXPECT_EQ(made->orderFlag(), expectedFlag++);
        EXPECT_FALSE(m_main->hasChanges());
        EXPECT_EQ(editor.meal(), nullptr);
        EXPECT_EQ(editor.nameText(), "");
    }
}

TEST_F(EditMealControllerTest, editingAMealSwitchesBetweenRecipeAndName) {
    auto pie = recipe("Pie");
    auto planned = meal("2026-03-10", 2, "", pie, 7);
    EditMealController editor(*m_main, *m_settings);
    editor.setMeal(planned);
    EXPECT_EQ(editor.mode(), EditMealController::Mode::Recipe);
    EXPECT_EQ(editor.recipeButtonTitle(), "Pie");
    EXPECT_EQ(editor.type(), 2);
    EXPECT_EQ(editor.date(), local("2026-03-10"));

    editor.setMode(EditMealController::Mode::Name);
    editor.setNameText("Soup");
    editor.setDate(local("2026-03-12 09:00:00"));
    ASSERT_TRUE(editor.donePressed());
    EXPECT_EQ(planned->name(), "Soup");
    EXPECT_EQ(planned->recipe(), nullptr);
    EXPECT_EQ(planned->status(), kStatusModified);
    EXPECT_EQ(formatDateText(*planned->date()), "2026-03-12 00:00:00");
    EXPECT_EQ(planned->orderFlag(), 7);
    EXPECT_EQ(all<Meal>(*freshContext()).size(), 1u);

    editor.setMeal(planned);
    EXPECT_EQ(editor.mode(), EditMealController::Mode::Name);
    EXPECT_EQ(editor.nameText(), "Soup");
    editor.setMode(EditMealController::Mode::Recipe);
    editor.setRecipe(pie);
    ASSERT_TRUE(editor.donePressed());
    EXPECT_EQ(planned->name(), std::nullopt);
    EXPECT_EQ(planned->recipe(), pie);
}

class MealRecipesControllerTest : public PlannerTest {};

TEST_F(MealRecipesControllerTest, searchesByNameIngredientsOrSource) {
    recipe("crème brûlée", "Crème fraîche\nsugar\neggs");
    recipe("Apple pie", "apples\nSUGAR\nflour");
    recipe("Bread", "flour\nwater\nsalt")->setSource("Grandma");
    recipe("Old", "sugar\ncreme")->setStatus(kStatusDeleted);
    settle();
    MealRecipesController chooser(*m_main);
    auto names = [&] {
        std::vector<std::string> result;
        for (const auto& each : chooser.recipes()) {
            result.push_back(each->name().value_or(""));
        }
        return result;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(chooser.placeholder(), "Search By Name");
    EXPECT_EQ(names(), (Names{"Apple pie", "Bread", "crème brûlée"}));

    struct Case {
        const char* context;
        const char* text;
        Names found;
    };
    const std::vector<Case> cases = {
        {"Name", "CREME", {"crème brûlée"}},
        {"Name", "", {"Apple pie", "Bread", "crème brûlée"}},
        {"Ingredient", "sugar, creme", {"crème brûlée"}},
        {"Ingredient", "creme,sugar", {"crème brûlée"}},
        {"Ingredient", " sugar ,, ", {"Apple pie", "crème brûlée"}},
        {"Ingredient", "flour, sugar", {"Apple pie"}},
        {"Ingredient", " , ", {"Apple pie", "Bread", "crème brûlée"}},
        {"Source", "grand", {"Bread"}},
        {"Source", "Apple", {}},
    };
    for (const auto& c : cases) {
        chooser.changeSearchContext(c.context);
        chooser.search(c.text);
        EXPECT_EQ(names(), c.found) << c.context << " \"" << c.text << "\"";
    }
    EXPECT_EQ(chooser.placeholder(), "Search By Source");
    chooser.search("grand");
    ASSERT_NE(chooser.recipeAtRow(0), nullptr);
    EXPECT_EQ(chooser.recipeAtRow(0)->name(), "Bread");
    EXPECT_EQ(chooser.recipeAtRow(1), nullptr);
}

TEST_F(MealRecipesControllerTest, tellsOfStoreChangesUnderTheCurrentSearch) {
    recipe("Apple pie", "apples");
    settle();
    MealRecipesController chooser(*m_main);
    int told = 0;
    chooser.setChangeHandler([&] { ++told; });
    chooser.search("pie");
    EXPECT_EQ(told, 0);  // the chooser's own search is no change of the store

    recipe("Cherry pie", "cherries");
    recipe("Bread", "flour");
    settle();
    EXPECT_GE(told, 1);
    ASSERT_EQ(chooser.recipes().size(), 2u);
    EXPECT_EQ(chooser.recipes()[1]->name(), "Cherry pie");
}

TEST_F(MealRecipesControllerTest, aChooserForLaterReadsNothingUntilStartedAndKeepsItsSearch) {
    recipe("Apple pie", "apples");
    recipe("Bread", "flour");
    settle();
    MealRecipesController chooser(*m_main, false);
    EXPECT_FALSE(chooser.started());
    EXPECT_TRUE(chooser.recipes().empty());
    chooser.changeSearchContext("Ingredient");
    chooser.search("flour");
    EXPECT_TRUE(chooser.recipes().empty());
    chooser.start();
    ASSERT_EQ(chooser.recipes().size(), 1u);
    EXPECT_EQ(chooser.recipes()[0]->name(), "Bread");
    chooser.start();  // once only
    EXPECT_EQ(chooser.recipes().size(), 1u);
}

}  // namespace
}  // namespace miravel
