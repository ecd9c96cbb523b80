#include "library/RecipeViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lib/LocalizedSettingsManager.h"
#include "lib/MainQueue.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

// Plays the view: records what it is shown and told, and answers the deletion question.
class RecordingView : public RecipeViewControllerDelegate {
public:
    void showRecipeValues(const RecipeViewValues& values) override { shown.push_back(values); }
    void showNotice(const std::string& text) override { notices.push_back(text); }
    bool confirmDeletion(const std::string& message) override {
        questions.push_back(message);
        return answerDelete;
    }
    void goBackToList() override { ++wentBack; }
    void closeWindow() override { ++closed; }
    void endGroceryListSheet() override { ++groceryListSheetsEnded; }
    void chooseIngredients(const std::shared_ptr<Recipe>&, ManagedObjectContext&,
                           std::function<void(bool)> done) override {
        groceryDone = std::move(done);
    }

    std::vector<RecipeViewValues> shown;
    std::vector<std::string> notices;
    std::vector<std::string> questions;
    bool answerDelete = false;
    int wentBack = 0;
    int closed = 0;
    int groceryListSheetsEnded = 0;
    std::function<void(bool)> groceryDone;
};

class RecipeViewControllerTest : public testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        m_settings = std::make_unique<UserSettings>(m_folder / "settings.json", &m_center);
        m_recipe = m_main->insert<Recipe>();
        m_recipe->setName("Pancakes");
        m_recipe->setIngredients("2 eggs\n1 cup milk");
        m_recipe->setServings("4");
        ASSERT_TRUE(m_main->save());
        m_main->processPendingChanges();
    }
    std::unique_ptr<RecipeViewController> makeController(bool windowMode = false) {
        auto controller =
            std::make_unique<RecipeViewController>(*m_main, m_queue, *m_settings, windowMode);
        controller->setDelegate(&m_view);
        controller->setRecipe(m_recipe);
        return controller;
    }

    MainQueue m_queue;
    std::unique_ptr<UserSettings> m_settings;
    std::shared_ptr<Recipe> m_recipe;
    RecordingView m_view;
};

TEST_F(RecipeViewControllerTest, emptyValuesShowTheirFallbacks) {
    m_recipe->setServings("");
    auto controller = makeController();
    const RecipeViewValues& values = controller->values();
    EXPECT_EQ(values.name, "Pancakes");
    for (const std::string* shown :
         {&values.servings, &values.cookTime, &values.prepTime, &values.difficulty}) {
        EXPECT_EQ(*shown, kNoValueText);
    }
    EXPECT_EQ(values.categories, "Uncategorized");
    EXPECT_FALSE(values.photo);
    EXPECT_EQ(values.stars, 0);

    m_recipe->setCookTime("1 hr");
    m_recipe->setDifficulty("Hard");
    m_recipe->setRating(9);
    controller->updateRecipeValues();
    EXPECT_EQ(controller->values().cookTime, "1 hr");
    EXPECT_EQ(controller->values().difficulty, "Hard");
    EXPECT_EQ(controller->values().stars, 5);
}

TEST_F(RecipeViewControllerTest, scaleChangeShowsScaledValuesWithoutMarkingTheRecipe) {
    m_recipe->setStatus(kStatusUnmodified);
    ASSERT_TRUE(m_main->save());
    const std::string hash = m_recipe->hashValue();
    auto controller = makeController();
    controller->scaleRecipe();
    controller->scalePanel().setWholeNumber(2);
    controller->scalePanel().setSelectedFraction(0);
    controller->scalePanel().savePressed();

    EXPECT_FALSE(controller->scaleSaveError());
    EXPECT_EQ(m_recipe->scale(), "2/1");
    EXPECT_EQ(m_recipe->status(), kStatusUnmodified);
    EXPECT_EQ(m_recipe->hashValue(), hash);
    EXPECT_EQ(controller->values().servings, "8 (Scaled)");
    EXPECT_NE(controller->values().ingredients.find("4 eggs"), std::string::npos)
        << controller->values().ingredients;
}

TEST_F(RecipeViewControllerTest, favouriteMarksTheRecipeAndTellsTheUser) {
    m_recipe->setStatus(kStatusUnmodified);
    ASSERT_TRUE(m_main->save());
    const std::string hash = m_recipe->hashValue();
    auto controller = makeController();
    ASSERT_TRUE(controller->changeFavorites(true));
    EXPECT_EQ(m_recipe->status(), kStatusModified);
    EXPECT_NE(m_recipe->hashValue(), hash);
    ASSERT_TRUE(controller->changeFavorites(false));
    EXPECT_EQ(m_view.notices,
              (std::vector<std::string>{kNoticeAddedToFavorites, kNoticeRemovedFromFavorites}));
}

TEST_F(RecipeViewControllerTest, mealsOfOneDayAreNumberedPastTombstones) {
    auto controller = makeController();
    const Timestamp noon = *parseDateText("2026-03-10 12:00:00");
    auto tombstone = m_main->insert<Meal>();
    tombstone->setDate(*parseDateText("2026-03-10 08:00:00"));
    tombstone->setOrderFlag(7);
    tombstone->setStatus(kStatusDeleted);
    auto otherDay = m_main->insert<Meal>();
    otherDay->setDate(*parseDateText("2026-03-11 00:00:00"));
    otherDay->setOrderFlag(5);
    ASSERT_TRUE(m_main->save());

    ASSERT_TRUE(controller->createMealWithType(Meal::Dinner, noon));
    ASSERT_TRUE(controller->createMealWithType(Meal::Lunch, *parseDateText("2026-03-10 23:59:00")));
    auto meals = all<Meal>(*freshContext(), "recipe != nil");
    ASSERT_EQ(meals.size(), 2u);
    std::vector<std::int64_t> flags{meals[0]->orderFlag(), meals[1]->orderFlag()};
    std::ranges::sort(flags);
    EXPECT_EQ(flags, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(meals[0]->status(), kStatusModified);
    EXPECT_EQ(lastMealOrderFlagForDay(*m_main, noon), 2);
    EXPECT_EQ(lastMealOrderFlagForDay(*m_main, *parseDateText("2026-03-12 12:00:00")), 0);
    EXPECT_EQ(m_view.notices.back(), kNoticeAddedToMealPlan);
}

TEST_F(RecipeViewControllerTest, severalChangesFromOneMergeRefreshOnce) {
    auto controller = makeController();
    const std::size_t before = m_view.shown.size();

    auto background = backgroundContext();
    auto theirs = all<Recipe>(*background)[0];
    theirs->setName("Crêpes");
    theirs->setNotes("thin");
    theirs->setRating(4);
    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, background.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    ASSERT_TRUE(background->save());
    m_main->mergeChangesFromContextDidSave(saved);
    m_main->processPendingChanges();

    EXPECT_TRUE(controller->textNeedsDisplay());
    EXPECT_EQ(m_view.shown.size(), before);  // not before the next turn
    m_queue.processPending();
    ASSERT_EQ(m_view.shown.size(), before + 1);
    EXPECT_EQ(m_view.shown.back().name, "Crêpes");
    EXPECT_EQ(m_view.shown.back().stars, 4);
    EXPECT_FALSE(controller->textNeedsDisplay());
}

TEST_F(RecipeViewControllerTest, onlyRealChangesRefresh) {
    auto controller = makeController();
    const std::size_t before = m_view.shown.size();
    m_recipe->setName("Pancakes");          // same text
    m_recipe->setDirections(std::nullopt);  // absent before and after
    m_main->processPendingChanges();
    m_queue.processPending();
    EXPECT_EQ(m_view.shown.size(), before);

    m_recipe->setDirections("");  // from no value to a value counts
    m_main->processPendingChanges();
    m_queue.processPending();
    EXPECT_EQ(m_view.shown.size(), before + 1);
}

TEST_F(RecipeViewControllerTest, fontSizeSettingReachesTheTexts) {
    auto controller = makeController();
    const auto& localized = LocalizedSettingsManager::sharedManager();
    EXPECT_EQ(controller->values().fontSize, localized.fontSizeForSetting("Small"));
    m_settings->setString(kFontSizeKey, "Large");
    ASSERT_FALSE(m_view.shown.empty());
    EXPECT_EQ(m_view.shown.back().fontSize, localized.fontSizeForSetting("Large"));
    EXPECT_NE(localized.fontSizeForSetting("Large"), localized.fontSizeForSetting("Small"));
    EXPECT_EQ(m_view.shown.back().fontName, kRecipeFontName);
}

TEST_F(RecipeViewControllerTest, deletedRecipeMakesTheViewLeave) {
    struct Case {
        bool windowMode;
        int wentBack;
        int closed;
    };
    for (const Case c : {Case{false, 1, 0}, Case{true, 0, 1}}) {
        m_view = RecordingView{};
        auto recipe = m_main->insert<Recipe>();
        m_recipe = recipe;
        auto controller = makeController(c.windowMode);
        controller->addToGroceryList();
        ASSERT_TRUE(Recipe::deleteRecipes(*m_main, {recipe}));
        EXPECT_EQ(m_view.groceryListSheetsEnded, 1);
        EXPECT_EQ(m_view.wentBack, c.wentBack);
        EXPECT_EQ(m_view.closed, c.closed);
        EXPECT_EQ(controller->recipe(), nullptr);
    }
}

TEST_F(RecipeViewControllerTest, deleteAsksFirstAndLeavesOnce) {
    auto controller = makeController();
    ASSERT_TRUE(controller->deletePressed());
    EXPECT_EQ(m_view.questions, std::vector<std::string>{kDeleteRecipeQuestion});
    EXPECT_EQ(all<Recipe>(*m_main).size(), 1u);  // cancelled

    m_view.answerDelete = true;
    ASSERT_TRUE(controller->deletePressed());
    EXPECT_TRUE(all<Recipe>(*freshContext()).empty());
    EXPECT_EQ(m_view.wentBack, 1);
}

}  // namespace
}  // namespace miravel
