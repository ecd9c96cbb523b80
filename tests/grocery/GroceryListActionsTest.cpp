#include <algorithm>

#include "grocery/GroceryListController.h"
#include "grocery/GroceryListTestSupport.h"
#include "ingredients/IngredientParser.h"
#include "lib/LocalizedSettingsManager.h"

namespace miravel {
namespace {

using testing::GroceryListTest;
using testing::Lines;
using testing::succeeded;

class GroceryListActionsTest : public GroceryListTest {
protected:
    int aisleTag(const std::string& key) const {
        auto keys = LocalizedSettingsManager::sharedManager().aisleNames().keys();
        return static_cast<int>(std::ranges::find(keys, key) - keys.begin());
    }
};

TEST_F(GroceryListActionsTest, newItemShowsTheEntireListAndIsEditedNextTurn) {
    add("milk", "Dairy", "milk", "Soup", true);
    add("old", "Dairy", "old", std::nullopt)->setOrderFlag(40);
    auto& list = start();
    m_sidebar->selectionDidChange(*m_sidebar->rowForEntry(GroceryListChoice::recipe("Soup")));
    list.segmentChanged(1);
    m_pane.edited.clear();

    auto item = succeeded(list.newItem());
    EXPECT_EQ(item->name(), "New Item");
    EXPECT_EQ(item->orderFlag(), 41);
    EXPECT_EQ(item->status(), kStatusModified);
    EXPECT_EQ(item->storedAisle(), "Miscellaneous");
    EXPECT_FALSE(item->recipeName());
    EXPECT_FALSE(item->ingredient());
    EXPECT_FALSE(m_main->hasChanges());
    EXPECT_TRUE(list.isAddingNewItem());
    EXPECT_TRUE(list.selectedRecipe()->isEntireList());
    EXPECT_TRUE(m_sidebar->selection().isEntireList());
    EXPECT_EQ(list.filter(), GroceryFilter::All);
    EXPECT_EQ(m_pane.segment, 0);
    EXPECT_TRUE(m_pane.edited.empty());

    MainQueue::shared().processPending();
    const std::size_t row = rowOf("New Item");
    EXPECT_EQ(m_pane.selected, std::vector<std::size_t>{row});
    EXPECT_EQ(m_pane.edited, std::vector<std::size_t>{row});
}

TEST_F(GroceryListActionsTest, theToBuyFilterStaysForANewItemAndShowsIt) {
    add("never checked", "Dairy", "x")->setPurchased(std::nullopt);
    auto& list = start();
    list.segmentChanged(2);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "never checked"}));
    auto item = succeeded(list.newItem());
    EXPECT_EQ(item->purchased(), false);
    EXPECT_EQ(list.filter(), GroceryFilter::ToBuy);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "never checked", "# Miscellaneous", "New Item"}));
}

TEST_F(GroceryListActionsTest, onlyTheFirstEditOfANewItemFilesItInAnAisle) {
    const auto& parser = IngredientParser::sharedParser();
    std::optional<std::string> milkIngredient;
    const std::string milkAisle = parser.getAisle("2 cups milk", &milkIngredient);
    if (milkAisle == kMiscellaneousAisle) {
        GTEST_SKIP() << "the parser's reference data is not in the build tree";
    }
    auto kept = add("bread", "Bakery", "bread");
    auto& list = start();
    auto item = succeeded(list.newItem());
    MainQueue::shared().processPending();

    // Another row's edit first: it keeps its aisle, and the new item is still new.
    succeeded(list.groceryListTableCellEdited(rowOf("bread"), "2 cups milk"));
    EXPECT_EQ(kept->name(), "2 cups milk");
    EXPECT_EQ(kept->storedAisle(), "Bakery");
    EXPECT_EQ(kept->ingredient(), milkIngredient);
    EXPECT_EQ(kept->status(), kStatusModified);
    EXPECT_TRUE(list.isAddingNewItem());

    succeeded(list.groceryListTableCellEdited(rowOf("New Item"), "2 cups milk"));
    EXPECT_EQ(item->storedAisle(), milkAisle);
    EXPECT_FALSE(list.isAddingNewItem());
    succeeded(list.groceryListTableCellEdited(
        *list.indexOfRow(*list.consolidatedItemForGroceryListItem(*item)), "dish soap"));
    EXPECT_EQ(item->storedAisle(), milkAisle);
    EXPECT_EQ(item->name(), "dish soap");
    EXPECT_FALSE(m_main->hasChanges());
}

TEST_F(GroceryListActionsTest, anEmptyEditIsASpaceAndAnUnchangedOneDoesNothing) {
    auto item = add("milk", "Dairy", "milk");
    auto& list = start();
    succeeded(list.groceryListTableCellEdited(rowOf("milk"), "milk"));
    EXPECT_EQ(item->status(), kStatusUnmodified);
    succeeded(list.groceryListTableCellEdited(rowOf("milk"), ""));
    EXPECT_EQ(item->name(), " ");
    EXPECT_EQ(item->status(), kStatusModified);
    EXPECT_EQ(item->storedAisle(), "Dairy");
    // Editing a title does nothing.
    succeeded(list.groceryListTableCellEdited(0, "x"));
    EXPECT_EQ(shown(), (Lines{"# Dairy", " "}));
}

// Needs IngredientParser::consolidateItems to show the three items as one row.
TEST_F(GroceryListActionsTest, editingAConsolidatedRowReplacesItsItemsByOneOwnItem) {
    add("1 cup milk", "Dairy", "milk", "Soup");
    add("1 cup milk", "Dairy", "milk", "Soup");
    add("1 cup milk", "Dairy", "milk", "Pie");
    add("1 egg", "Dairy", "egg", "Pie");
    auto& list = start();
    ASSERT_EQ(shown(), (Lines{"# Dairy", "1 egg", "3 cups milk (3)"}));
    ASSERT_EQ(m_sidebar->recipes(), (std::vector<std::string>{"Pie", "Soup"}));
    succeeded(list.groceryListTableCellEdited(rowOf("3 cups milk"), "1 quart milk"));
    auto items = liveItems();
    ASSERT_EQ(items.size(), 2u);
    auto own = std::ranges::find_if(items, [](const auto& i) { return !i->recipeName(); });
    ASSERT_NE(own, items.end());
    EXPECT_EQ((*own)->name(), "1 quart milk");
    EXPECT_EQ((*own)->status(), kStatusModified);
    EXPECT_EQ((*own)->orderFlag(), 5);
    EXPECT_EQ(m_sidebar->recipes(), (std::vector<std::string>{"Pie"}));
}

TEST_F(GroceryListActionsTest, checkBoxTogglesTheRowAndTheMenuEachChosenRowByItsOwnState) {
    auto milk = add("milk", "Dairy", "milk");
    auto butter = add("butter", "Dairy", "butter", std::nullopt, true);
    auto carrot = add("carrot", "Produce", "carrot");
    auto& list = start();
    succeeded(list.groceryListTableCellCheckboxToggled(rowOf("milk")));
    EXPECT_EQ(milk->purchased(), true);
    EXPECT_EQ(milk->status(), kStatusModified);
    EXPECT_FALSE(m_main->hasChanges());
    succeeded(list.groceryListTableCellCheckboxToggled(rowOf("milk")));
    EXPECT_EQ(milk->purchased(), false);

    list.selectionDidChange({rowOf("butter"), rowOf("carrot")});
    EXPECT_EQ(list.validateMenuItem(GroceryMenuItem::Purchased, rowOf("butter")),
              (GroceryMenuState{true, true}));
    succeeded(list.togglePurchased(rowOf("milk")));
    EXPECT_EQ(milk->purchased(), true);
    EXPECT_EQ(butter->purchased(), false);
    EXPECT_EQ(carrot->purchased(), true);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "butter", "✓ milk", "# Produce", "✓ carrot"}));
}

TEST_F(GroceryListActionsTest, aisleMenuMarksTheClickedRowsAisleAndMovesChosenRows) {
    auto milk = add("milk", "Dairy", "milk");
    auto carrot = add("carrot", "Produce", "carrot");
    auto pear = add("pear", "Produce", "pear");
    auto& list = start();
    auto menu = list.aisleMenu(rowOf("milk"));
    ASSERT_EQ(menu.size(), LocalizedSettingsManager::sharedManager().aisleNames().size());
    EXPECT_EQ(menu.front(), (AisleMenuEntry{"Baby Products", 0, false}));
    EXPECT_EQ(std::ranges::count_if(menu, [](const auto& e) { return e.checked; }), 1);
    EXPECT_EQ(menu[static_cast<std::size_t>(aisleTag("Dairy"))],
              (AisleMenuEntry{"Dairy", aisleTag("Dairy"), true}));
    EXPECT_EQ(list.validateMenuItem(GroceryMenuItem::Aisle, rowOf("milk"), aisleTag("Dairy")),
              (GroceryMenuState{true, true}));
    EXPECT_EQ(list.validateMenuItem(GroceryMenuItem::Aisle, rowOf("milk"), aisleTag("Meat")),
              (GroceryMenuState{true, false}));

    list.selectionDidChange({rowOf("carrot")});
    succeeded(list.changeAisle(aisleTag("Snacks"), rowOf("milk")));
    EXPECT_EQ(milk->storedAisle(), "Snacks");
    EXPECT_EQ(carrot->storedAisle(), "Snacks");
    EXPECT_EQ(pear->storedAisle(), "Produce");
    EXPECT_EQ(pear->status(), kStatusUnmodified);
    EXPECT_EQ(shown(), (Lines{"# Produce", "pear", "# Snacks", "carrot", "milk"}));
    succeeded(list.changeAisle(999, rowOf("pear")));
    EXPECT_EQ(pear->storedAisle(), "Produce");
}

TEST_F(GroceryListActionsTest, dropsLandInTheNearestSectionAboveTheDropPosition) {
    auto milk = add("milk", "Dairy", "milk");
    add("butter", "Dairy", "butter");
    auto pear = add("pear", "Produce", "pear");
    auto& list = start();
    // 0 "# Dairy", 1 butter, 2 milk, 3 "# Produce", 4 pear
    ASSERT_EQ(shown(), (Lines{"# Dairy", "butter", "milk", "# Produce", "pear"}));
    const std::string type = GroceryListController::pasteboardType();
    EXPECT_EQ(type, "org.miravel.Miravel.GroceryListItem");
    EXPECT_EQ(list.writeRows({4, 0}), std::vector<std::size_t>{4});
    EXPECT_FALSE(list.validateDrop(type, 0, false));
    EXPECT_FALSE(list.validateDrop(type, 2, true));
    EXPECT_FALSE(list.validateDrop("text", 2, false));
    EXPECT_EQ(list.aisleForIndex(3), "Dairy");  // just above the header "Produce"
    EXPECT_EQ(list.aisleForIndex(4), "Produce");
    EXPECT_EQ(list.aisleForIndex(5), "Produce");  // below the last row
    EXPECT_FALSE(list.aisleForIndex(0));

    EXPECT_EQ(true, list.acceptDrop({4}, 3, false));
    EXPECT_EQ(pear->storedAisle(), "Dairy");
    EXPECT_EQ(pear->status(), kStatusModified);
    EXPECT_EQ(shown(), (Lines{"# Dairy", "butter", "milk", "pear"}));
    EXPECT_EQ(true, list.acceptDrop({2}, 4, false));
    EXPECT_EQ(milk->storedAisle(), "Dairy");

    list.setSortGroceryListByAisles(false);
    EXPECT_FALSE(list.writeRows({1}));
    EXPECT_FALSE(list.validateDrop(type, 2, false));
    EXPECT_EQ(false, list.acceptDrop({1}, 2, false));
}

TEST_F(GroceryListActionsTest, deletingAsksWithTheTextForOneOrManyRows) {
    add("milk", "Dairy", "milk");
    add("butter", "Dairy", "butter");
    add("pear", "Produce", "pear");
    auto& list = start();
    (void)succeeded(list.deletePressed());  // nothing selected: nothing asked
    EXPECT_TRUE(m_pane.questions.empty());

    m_pane.answer = false;
    list.selectionDidChange({rowOf("milk")});
    (void)succeeded(list.deletePressed());
    EXPECT_EQ(m_pane.questions, Lines{"Are you sure you want to delete this grocery list item?"});
    EXPECT_EQ(liveItems().size(), 3u);

    m_pane.answer = true;
    m_pane.questions.clear();
    (void)succeeded(list.deleteItem(rowOf("pear")));
    EXPECT_EQ(m_pane.questions, Lines{"Are you sure you want to delete these grocery list items?"});
    EXPECT_EQ(shown(), (Lines{"# Dairy", "butter"}));
    EXPECT_FALSE(m_pane.removeEnabled);
    EXPECT_TRUE(list.selectedRows().empty());
}

TEST_F(GroceryListActionsTest, deletedItemsLeaveTheStoreSignedOutAndStayAsHiddenTombstonesIn) {
    for (bool signedIn : {false, true}) {
        for (auto& item : all<GroceryListItem>(*m_main)) {
            m_main->deleteObject(item);
        }
        add("milk", "Dairy", "milk");
        add("butter", "Dairy", "butter");
        auto& list = start();
        setLoggedIn(signedIn);
        (void)succeeded(list.deleteItem(rowOf("milk")));
        EXPECT_EQ(shown(), (Lines{"# Dairy", "butter"})) << signedIn;
        auto stored = freshContext();
        auto kept = all<GroceryListItem>(*stored);
        ASSERT_EQ(kept.size(), signedIn ? 2u : 1u) << signedIn;
        if (signedIn) {
            EXPECT_EQ(std::ranges::count_if(
                          kept, [](const auto& i) { return i->status() == kStatusDeleted; }),
                      1);
        }
        setLoggedIn(false);
    }
}

TEST_F(GroceryListActionsTest, clearingPurchasedSwitchesToTheEntireListAndClearsEveryRecipe) {
    add("milk", "Dairy", "milk", "Soup", true);
    add("carrot", "Produce", "carrot", "Soup");
    add("flour", "Baking Goods", "flour", "Bread", true);
    add("soap", "Cleaning Supplies", "soap", std::nullopt, true);
    auto& list = start();
    m_sidebar->selectionDidChange(*m_sidebar->rowForEntry(GroceryListChoice::recipe("Soup")));
    list.segmentChanged(2);

    m_pane.clearChoice = ClearChoice::Cancel;
    (void)succeeded(list.clearGroceryList());
    EXPECT_EQ(m_pane.questions, Lines{"Are you sure you want to clear the grocery list?"});
    EXPECT_EQ(liveItems().size(), 4u);
    EXPECT_TRUE(list.selectedRecipe()->isRecipe());

    m_pane.clearChoice = ClearChoice::ClearPurchased;
    (void)succeeded(list.clearGroceryList());
    EXPECT_TRUE(list.selectedRecipe()->isEntireList());
    EXPECT_TRUE(m_sidebar->selection().isEntireList());
    EXPECT_EQ(list.filter(), GroceryFilter::All);
    EXPECT_EQ(m_pane.segment, 0);
    EXPECT_EQ(shown(), (Lines{"# Produce", "carrot"}));

    m_pane.clearChoice = ClearChoice::ClearAllItems;
    (void)succeeded(list.clearGroceryList());
    EXPECT_TRUE(liveItems().empty());
    EXPECT_TRUE(m_pane.emptyLabel);
    EXPECT_FALSE(m_pane.removeEnabled);
}

TEST_F(GroceryListActionsTest, menuValidationFollowsTheClickedRow) {
    add("milk", "Dairy", "milk", std::nullopt, true);
    auto& list = start();
    struct Case {
        GroceryMenuItem item;
        std::optional<std::size_t> clicked;
        GroceryMenuState state;
    };
    const Case cases[] = {
        {GroceryMenuItem::NewItem, std::nullopt, {true, false}},
        {GroceryMenuItem::NewItem, 0, {true, false}},
        {GroceryMenuItem::Edit, 1, {true, false}},
        {GroceryMenuItem::Edit, 0, {false, false}},  // a title
        {GroceryMenuItem::Delete, 1, {true, false}},
        {GroceryMenuItem::Delete, std::nullopt, {false, false}},
        {GroceryMenuItem::Purchased, 1, {true, true}},
        {GroceryMenuItem::Purchased, 7, {false, false}},
        {GroceryMenuItem::Other, 1, {false, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(list.validateMenuItem(c.item, c.clicked), c.state)
            << static_cast<int>(c.item) << " " << c.clicked.value_or(99);
    }
}

}  // namespace
}  // namespace miravel
