#include "grocery/GroceryListController.h"

#include <algorithm>

#include "grocery/GroceryListTestSupport.h"
#include "lib/LocalizedSettingsManager.h"

namespace miravel {
namespace {

using testing::GroceryListTest;
using testing::Lines;

class GroceryListControllerTest : public GroceryListTest {};

TEST_F(GroceryListControllerTest, groupsByAisleInAisleIngredientNameOrder) {
    add("2 onions", "Produce", "onion", "Soup");
    add("1 carrot", "Produce", "carrot", "Soup");
    add("milk", "Dairy", "milk");
    add("Batteries", "Miscellaneous", "batteries");
    add("a cabbage", "Produce", "cabbage");
    add("Gone", "Dairy", "cheese", std::nullopt)->setStatus(kStatusDeleted);
    auto& list = start();
    EXPECT_EQ(shown(), (Lines{"# Dairy", "milk", "# Miscellaneous", "Batteries", "# Produce",
                              "a cabbage", "1 carrot", "2 onions"}));
    ASSERT_EQ(list.sections().size(), 3u);
    EXPECT_EQ(list.sections()[2].aisle, "Produce");
    EXPECT_EQ(list.sections()[2].rows.size(), 3u);
    EXPECT_FALSE(list.showsEmptyLabel());
    EXPECT_FALSE(m_pane.emptyLabel);
}

TEST_F(GroceryListControllerTest, groupsByRecipeWithTheUsersOwnItemsUnderMyItems) {
    add("1 carrot", "Produce", "carrot", "Soup");
    add("milk", "Dairy", "milk");
    add("flour", "Baking Goods", "flour", "Bread");
    add("salt", "Spices and Seasonings", "salt", "Bread");
    m_settings.setBoolean(kGroceryListAislesKey, false);
    start();
    EXPECT_EQ(shown(),
              (Lines{"# My Items", "milk", "# Bread", "flour", "salt", "# Soup", "1 carrot"}));
}

TEST_F(GroceryListControllerTest, settingsNotWrittenYetAreTheDefaultsGroupedAndMerged) {
    // A first start makes the list before the defaults are written.
    m_settings.remove(kGroceryListAislesKey);
    m_settings.remove(kGroceryListConsolidationKey);
    add("1 cup milk", "Dairy", "milk", "Pancakes");
    add("1 cup milk", "Dairy", "milk", "Porridge");
    auto& list = start();
    EXPECT_TRUE(list.sortGroceryListByAisles());
    EXPECT_EQ(shown(), (Lines{"# Dairy", "2 cups milk (2)"}));
    list.settingsDidChange();
    EXPECT_EQ(shown(), (Lines{"# Dairy", "2 cups milk (2)"}));
}

TEST_F(GroceryListControllerTest, followsTheSettingsWhenToldTheyChanged) {
    add("1 carrot", "Produce", "carrot", "Soup");
    add("milk", "Dairy", "milk");
    auto& list = start();
    m_settings.setBoolean(kGroceryListAislesKey, false);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "milk", "# Produce", "1 carrot"}));
    list.settingsDidChange();
    EXPECT_FALSE(list.sortGroceryListByAisles());
    EXPECT_EQ(shown(), (Lines{"# My Items", "milk", "# Soup", "1 carrot"}));
    list.setSortGroceryListByAisles(true);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "milk", "# Produce", "1 carrot"}));
}

TEST_F(GroceryListControllerTest, sidebarChoiceNarrowsTheList) {
    add("1 carrot", "Produce", "carrot", "Soup");
    add("milk", "Dairy", "milk");
    add("flour", "Baking Goods", "flour", "Bread");
    auto& list = start();
    struct Case {
        GroceryListChoice choice;
        Lines shown;
    };
    const Case cases[] = {
        {GroceryListChoice::myItems(), {"# Dairy", "milk"}},
        {GroceryListChoice::recipe("Soup"), {"# Produce", "1 carrot"}},
        {GroceryListChoice::recipe("None"), {}},
        {GroceryListChoice::entireList(),
         {"# Baking Goods", "flour", "# Dairy", "milk", "# Produce", "1 carrot"}},
    };
    for (const auto& c : cases) {
        list.setSelectedRecipe(c.choice);
        EXPECT_EQ(shown(), c.shown) << c.choice.title();
        EXPECT_EQ(list.showsEmptyLabel(), c.shown.empty()) << c.choice.title();
        EXPECT_EQ(m_pane.emptyLabel, c.shown.empty()) << c.choice.title();
    }
}

TEST_F(GroceryListControllerTest, filterSegmentsShowBoughtOrToBuyAndResetOnANewChoice) {
    add("milk", "Dairy", "milk", std::nullopt, true);
    add("butter", "Dairy", "butter");
    add("1 carrot", "Produce", "carrot", "Soup", true);
    auto& list = start();
    EXPECT_EQ(shown(), (Lines{"# Dairy", "butter", "✓ milk", "# Produce", "✓ 1 carrot"}));
    list.segmentChanged(1);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "✓ milk", "# Produce", "✓ 1 carrot"}));
    list.segmentChanged(2);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "butter"}));
    list.setSelectedRecipe(GroceryListChoice::recipe("Soup"));
    EXPECT_EQ(list.filter(), GroceryFilter::All);
    EXPECT_EQ(m_pane.segment, 0);
    EXPECT_EQ(shown(), (Lines{"# Produce", "✓ 1 carrot"}));
}

TEST_F(GroceryListControllerTest, emptyLabelShowsExactlyWhenNothingWasFetched) {
    auto& list = start();
    EXPECT_TRUE(list.items().empty());
    EXPECT_TRUE(m_pane.emptyLabel);
    add("milk", "Dairy", "milk");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(shown(), (Lines{"# Dairy", "milk"}));
    EXPECT_FALSE(m_pane.emptyLabel);
}

TEST_F(GroceryListControllerTest, followsChangesSavedElsewhere) {
    add("milk", "Dairy", "milk");
    start();
    auto other = backgroundContext();
    auto item = other->insert<GroceryListItem>();
    item->setName("2 pears");
    item->setAisle("Produce");
    item->setIngredient("pear");
    ContextDidSave saved;
    Observation observation = m_center.addObserver(
        kContextDidSaveNotification, other.get(),
        [&](const Notification& n) { saved = std::any_cast<ContextDidSave>(n.userInfo); });
    ASSERT_TRUE(other->save());
    m_main->mergeChangesFromContextDidSave(saved);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "milk", "# Produce", "2 pears"}));
}

TEST_F(GroceryListControllerTest, anItemWithoutAisleIsFiledWhereTheParserPutsIt) {
    add("milk", "Dairy", "milk");
    add("zucchini", "Produce", "zucchini");
    auto bare = add("xyzzy widgets", "", "");
    bare->setAisle(std::nullopt);
    start();
    // The recognised aisle is stored and the item sorts into that aisle's single run.
    ASSERT_TRUE(bare->storedAisle());
    auto lines = shown();
    std::string title = "# " + LocalizedSettingsManager::sharedManager().localizedAisleForAisle(
                                   *bare->storedAisle());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), title), 1) << title;
}

// Merging rows needs IngredientParser::consolidateItems.
TEST_F(GroceryListControllerTest, likeItemsOfOneAisleShowAsOneRowOnTheEntireList) {
    add("1 cup milk", "Dairy", "milk", "Soup");
    add("1 cup milk", "Dairy", "milk", "Pie", true);
    add("salt", "Spices and Seasonings", "salt", "Soup", true);
    add("salt", "Spices and Seasonings", "salt", "Pie", true);
    add("1 cup stock", "Canned and Jar Goods", "stock");
    add("1 cup stock", "Meat", "stock");
    add("2 large eggs", "Dairy", "egg");
    add("2 eggs", "Dairy", "egg");
    add("shoe laces", "Miscellaneous", "");
    add("shoe laces", "Miscellaneous", "");
    auto& list = start();
    // Different aisles, a size on one side only, an unrecognised ingredient: never merged.
    // A row counts as purchased only when all its items are.
    EXPECT_EQ(shown(),
              (Lines{"# Canned and Jar Goods", "1 cup stock", "# Dairy", "2 eggs", "2 large eggs",
                     "2 cups milk (2)", "# Meat", "1 cup stock", "# Miscellaneous", "shoe laces",
                     "shoe laces", "# Spices and Seasonings", "✓ Salt (2)"}));
    auto milk = list.rowAt(rowOf("2 cups milk"));
    ASSERT_TRUE(milk);
    EXPECT_EQ(list.consolidatedItemForGroceryListItem(*milk->items()[1]), milk);
    EXPECT_TRUE(list.shouldConsolidate());
}

TEST_F(GroceryListControllerTest, oneRowPerItemWithoutConsolidationOrWithAChoice) {
    add("1 cup milk", "Dairy", "milk", "Soup");
    add("1 cup milk", "Dairy", "milk", "Soup");
    add("1 cup milk", "Dairy", "milk");
    add("1 cup milk", "Dairy", "milk");
    auto& list = start();
    const Lines separate{"# Dairy", "1 cup milk", "1 cup milk"};
    list.setSelectedRecipe(GroceryListChoice::recipe("Soup"));
    EXPECT_FALSE(list.shouldConsolidate());
    EXPECT_EQ(shown(), separate);
    list.setSelectedRecipe(GroceryListChoice::myItems());
    EXPECT_FALSE(list.shouldConsolidate());
    EXPECT_EQ(shown(), separate);
    list.setSelectedRecipe(GroceryListChoice::entireList());
    list.setConsolidateGroceryList(false);
    EXPECT_FALSE(list.shouldConsolidate());
    EXPECT_EQ(shown(), (Lines{"# Dairy", "1 cup milk", "1 cup milk", "1 cup milk", "1 cup milk"}));
}

TEST_F(GroceryListControllerTest, filterConsolidatedItemsMatchesTheIngredientOnly) {
    GroceryListSection section;
    auto milk = add("milk", "Dairy", "milk");
    auto bare = add("thing", "Dairy", "");
    section.rows = {std::make_shared<ConsolidatedItem>(milk),
                    std::make_shared<ConsolidatedItem>(bare)};
    EXPECT_EQ(GroceryListController::filterConsolidatedItems(section, "milk").size(), 1u);
    EXPECT_TRUE(GroceryListController::filterConsolidatedItems(section, "").empty());
    EXPECT_TRUE(GroceryListController::filterConsolidatedItems(section, "cream").empty());
}

TEST_F(GroceryListControllerTest, selectionIsCarriedOverByTheItemsTheRowsWrap) {
    add("milk", "Dairy", "milk");
    auto carrot = add("1 carrot", "Produce", "carrot");
    add("zucchini", "Produce", "zucchini");
    auto& list = start();
    list.selectionDidChange({rowOf("1 carrot"), 0});  // a title can't be selected
    EXPECT_EQ(list.selectedRows(), (std::vector<std::size_t>{3}));
    EXPECT_TRUE(m_pane.removeEnabled);
    // A new item above it moves the row; the selection follows the item.
    add("butter", "Dairy", "butter");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(list.selectedRows(), (std::vector<std::size_t>{rowOf("1 carrot")}));
    EXPECT_EQ(m_pane.selected, list.selectedRows());
    // Its item gone, nothing is selected and the remove button follows.
    m_main->deleteObject(carrot);
    ASSERT_TRUE(m_main->save());
    EXPECT_TRUE(list.selectedRows().empty());
    EXPECT_FALSE(m_pane.removeEnabled);
}

TEST_F(GroceryListControllerTest, anEditInProgressResumesOnTheRebuiltRow) {
    add("milk", "Dairy", "milk");
    add("1 carrot", "Produce", "carrot");
    auto& list = start();
    list.editItem(rowOf("1 carrot"));
    add("butter", "Dairy", "butter");
    ASSERT_TRUE(m_main->save());
    m_pane.edited.clear();
    MainQueue::shared().processPending();
    EXPECT_EQ(m_pane.edited, (std::vector<std::size_t>{rowOf("1 carrot")}));
}

}  // namespace
}  // namespace miravel
