#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListTestSupport.h"

namespace miravel {
namespace {

using testing::GroceryListTest;
using testing::Lines;
using testing::succeeded;

class GroceryListSidebarTest : public GroceryListTest {
protected:
    Lines titles() const {
        Lines lines;
        for (const auto& entry : m_sidebar->entries()) {
            lines.push_back(entry.title());
        }
        return lines;
    }
    void removeRecipe(const std::string& name) {
        auto row = m_sidebar->rowForEntry(GroceryListChoice::recipe(name));
        ASSERT_TRUE(row) << name;
        (void)succeeded(m_sidebar->deleteRecipe(*row));
        MainQueue::shared().processPending();
    }
    void choose(const GroceryListChoice& choice) {
        m_sidebar->selectionDidChange(*m_sidebar->rowForEntry(choice));
    }
};

TEST_F(GroceryListSidebarTest, presetsThenDistinctLiveRecipeNamesCaseInsensitively) {
    add("a", "Dairy", "a", "soup");
    add("b", "Dairy", "b", "Bread");
    add("c", "Dairy", "c", "bread");
    add("d", "Dairy", "d", "Bread");
    add("e", "Dairy", "e", "Apple Pie");
    add("f", "Dairy", "f");
    add("g", "Dairy", "g", "Gone")->setStatus(kStatusDeleted);
    start();
    auto distinct = m_sidebar->recipes();
    EXPECT_EQ(distinct.size(), 4u);
    ASSERT_GE(distinct.size(), 1u);
    EXPECT_EQ(distinct.front(), "Apple Pie");
    EXPECT_EQ(distinct.back(), "soup");
    EXPECT_EQ(titles().front(), "Entire Grocery List");
    EXPECT_EQ(titles()[1], "My Items");
    EXPECT_EQ(GroceryListCategoriesController::groupTitle(), "Recipes");
    EXPECT_FALSE(m_sidebar->entryAtRow(0));  // the group
    EXPECT_EQ(m_sidebar->entryAtRow(1), GroceryListChoice::entireList());
    EXPECT_FALSE(m_sidebar->entryAtRow(7));
    // Start selects the entire list.
    EXPECT_EQ(m_pane.sidebarRows, std::vector<std::size_t>{1});
    EXPECT_TRUE(m_list->selectedRecipe()->isEntireList());

    // Live: a recipe's last item gone, its entry goes.
    add("h", "Dairy", "h", "Zest");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(m_sidebar->recipes().back(), "Zest");
}

TEST_F(GroceryListSidebarTest, selectingTellsTheListAndEnablesRemoveOnlyForRecipes) {
    add("a", "Dairy", "a", "Soup");
    start();
    struct Case {
        std::size_t row;
        std::string choice;
        bool removeEnabled;
    };
    const Case cases[] = {{3, "Soup", true},
                          {2, "My Items", false},
                          {0, "My Items", false},
                          {1, "Entire Grocery List", false}};
    for (const auto& c : cases) {
        m_sidebar->selectionDidChange(c.row);
        EXPECT_EQ(m_list->selectedRecipe()->title(), c.choice) << c.row;
        EXPECT_EQ(m_sidebar->removeButtonEnabled(), c.removeEnabled) << c.row;
        EXPECT_EQ(m_pane.removeEnabled, c.removeEnabled) << c.row;
        EXPECT_EQ(m_sidebar->validateDeleteRecipe(c.row), c.row == 3) << c.row;
    }
}

TEST_F(GroceryListSidebarTest, removingARecipePicksTheNextEntry) {
    struct Case {
        Lines recipes;
        std::string selected;  // empty: "My Items"
        std::string removed;
        std::string next;
    };
    const Case cases[] = {
        {{"A", "B", "C"}, "C", "C", "B"},  // the last: the one before it
        {{"A", "B", "C"}, "A", "A", "B"},  // otherwise the one after it
        {{"A"}, "A", "A", "Entire Grocery List"},
        {{"A", "B"}, "", "B", "My Items"},  // a preset stays
        {{"A", "B", "C"}, "A", "C", "A"},   // another recipe stays
    };
    for (const auto& c : cases) {
        for (auto& item : all<GroceryListItem>(*m_main)) {
            m_main->deleteObject(item);
        }
        add("mine", "Dairy", "mine", std::nullopt, true);
        for (const auto& name : c.recipes) {
            add("x", "Dairy", "x", name, true);
            add("y", "Dairy", "y", name);
        }
        start();
        choose(c.selected.empty() ? GroceryListChoice::myItems()
                                  : GroceryListChoice::recipe(c.selected));
        m_list->segmentChanged(1);
        m_pane.questions.clear();
        removeRecipe(c.removed);
        EXPECT_EQ(m_pane.questions,
                  Lines{"Are you sure you want to remove this recipe from the grocery list?"});
        EXPECT_EQ(m_sidebar->selection().title(), c.next) << c.removed;
        EXPECT_EQ(m_list->selectedRecipe()->title(), c.next) << c.removed;
        EXPECT_EQ(m_sidebar->removeButtonEnabled(), m_sidebar->selection().isRecipe());
        // Every item of the recipe went, whatever filter was shown.
        EXPECT_EQ(all<GroceryListItem>(*m_main, "recipeName == %@", {Value(c.removed)}).size(), 0u)
            << c.removed;
        EXPECT_EQ(liveItems().size(), 1 + 2 * (c.recipes.size() - 1)) << c.removed;
    }
}

TEST_F(GroceryListSidebarTest, cancellingOrAPresetRemovesNothing) {
    add("x", "Dairy", "x", "Soup");
    start();
    m_pane.answer = false;
    removeRecipe("Soup");
    EXPECT_EQ(liveItems().size(), 1u);
    m_pane.answer = true;
    m_pane.questions.clear();
    (void)succeeded(m_sidebar->deleteRecipe(1));
    (void)succeeded(m_sidebar->deleteRecipe(2));
    (void)succeeded(m_sidebar->deleteRecipePressed());  // the entire list is selected
    EXPECT_TRUE(m_pane.questions.empty());
    EXPECT_EQ(liveItems().size(), 1u);
}

}  // namespace
}  // namespace miravel
