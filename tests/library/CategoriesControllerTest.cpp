#include "library/CategoriesController.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "lib/MainQueue.h"
#include "model/ApplicationHooks.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;
using testing::succeeded;

// Plays the widgets and the recipe list.
class Column : public CategoriesControllerDelegate, public CategorySelectionListener {
public:
    bool confirmDeletion(const std::string& message) override {
        questions.push_back(message);
        return answer;
    }
    void reloadTree() override { ++reloads; }
    void selectRow(std::size_t row) override { selectedRows.push_back(row); }
    void editNameInPlace(std::size_t row) override { editedRows.push_back(row); }
    void setRemoveButtonEnabled(bool enabled) override { removeEnabled = enabled; }
    void setCategory(const CategorySelection& selection) override {
        received.push_back(describe(selection));
    }

    static std::string describe(const CategorySelection& selection) {
        if (const auto* preset = std::get_if<std::string>(&selection)) {
            return "preset " + *preset;
        }
        return std::get<std::shared_ptr<RecipeCategory>>(selection)->name().value_or("");
    }

    bool answer = true;
    std::vector<std::string> questions;
    int reloads = 0;
    std::vector<std::size_t> selectedRows;
    std::vector<std::size_t> editedRows;
    bool removeEnabled = false;
    std::vector<std::string> received;
};

class CategoriesControllerTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        MainQueue::shared().processPending();
    }

    std::shared_ptr<RecipeCategory> add(const std::string& name, std::int64_t orderFlag,
                                        const char* status = kStatusUnmodified) {
        auto category = m_main->insert<RecipeCategory>();
        category->setName(name);
        category->setOrderFlag(orderFlag);
        category->setStatus(status);
        return category;
    }
    // Categories named "c0", "c1"... at positions 0, 1...
    void addNumbered(int count) {
        for (int i = 0; i < count; ++i) {
            add("c" + std::to_string(i), i);
        }
    }
    CategoriesController& start() {
        EXPECT_TRUE(m_main->save());
        m_controller =
            std::make_unique<CategoriesController>(*m_main, m_settings, m_column, m_column);
        m_controller->start();
        return *m_controller;
    }
    std::vector<std::string> shown() const {
        std::vector<std::string> names;
        for (const auto& category : m_controller->categories()) {
            names.push_back(category->name().value_or("") + "/" +
                            std::to_string(category->orderFlag()));
        }
        return names;
    }
    std::size_t saves() const { return m_saves; }

    UserSettings m_settings{m_folder / "Settings.json"};
    Column m_column;
    std::unique_ptr<CategoriesController> m_controller;
    std::size_t m_saves = 0;
    Observation m_saveCounter = m_center.addObserver(kContextDidSaveNotification, nullptr,
                                                     [this](const Notification&) { ++m_saves; });
};

constexpr std::size_t kPresets = CategoriesController::kPresetCount;

TEST_F(CategoriesControllerTest, treeIsOneGroupOfPresetsThenCategories) {
    add("Soups", 0);
    add("Cakes", 1);
    auto& controller = start();
    ASSERT_EQ(controller.numberOfChildren(nullptr), 1u);
    CategoryColumnItem group = controller.child(0, nullptr);
    EXPECT_TRUE(controller.isExpandable(group));
    EXPECT_FALSE(controller.shouldSelect(group));
    EXPECT_EQ(controller.displayText(group), "Categories");
    ASSERT_EQ(controller.numberOfChildren(&group), kPresets + 2);

    std::vector<std::string> texts;
    for (std::size_t i = 0; i < kPresets + 2; ++i) {
        auto item = controller.child(i, &group);
        texts.push_back(controller.displayText(item));
        EXPECT_EQ(controller.shouldEdit(item), i >= kPresets) << i;
        EXPECT_EQ(controller.rowForItem(item), i + 1) << i;
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"All Recipes", "Most Recent", "Top Rated",
                                               "Favorites", "Uncategorized", "Soups", "Cakes"}));
    EXPECT_FALSE(controller.itemAtRow(kPresets + 3));
    // Start selects row 1, "All Recipes", for the recipe list.
    EXPECT_EQ(m_column.received, std::vector<std::string>{"preset All Recipes"});
    EXPECT_EQ(m_column.selectedRows, std::vector<std::size_t>{1});
    EXPECT_FALSE(m_column.removeEnabled);
}

TEST_F(CategoriesControllerTest, sortsByEitherRuleAndRefetchesWhenItChanges) {
    add("soup", 3);
    add("Bread", 2);
    add("Soup", 1);
    add("Gone", 0, kStatusDeleted);
    m_settings.setBoolean(kAlphabetizeCategoriesKey, true);
    auto& controller = start();
    // Same names (case aside) fall back to the position.
    EXPECT_EQ(shown(), (std::vector<std::string>{"Bread/2", "Soup/1", "soup/3"}));
    controller.setAlphabetizeCategories(false);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Soup/1", "Bread/2", "soup/3"}));

    // Same position: by name.
    add("Apple", 2);
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(shown(), (std::vector<std::string>{"Soup/1", "Apple/2", "Bread/2", "soup/3"}));
}

TEST_F(CategoriesControllerTest, selectingRowsTellsTheRecipeListAndTheRemoveButton) {
    add("Soups", 0);
    auto& controller = start();
    m_column.received.clear();
    struct Case {
        std::size_t row;
        std::string received;  // empty: nothing sent
        bool removeEnabled;
    };
    const Case cases[] = {
        {kPresets + 1, "Soups", true},    {0, "", true},  // the heading can't be chosen
        {2, "preset Most Recent", false}, {kPresets, "preset Uncategorized", false},
        {kPresets + 2, "", false},  // past the end
    };
    for (const auto& c : cases) {
        m_column.received.clear();
        controller.selectionDidChange(c.row);
        EXPECT_EQ(m_column.received, c.received.empty() ? std::vector<std::string>{}
                                                        : std::vector<std::string>{c.received})
            << c.row;
        EXPECT_EQ(controller.removeButtonEnabled(), c.removeEnabled) << c.row;
    }
}

TEST_F(CategoriesControllerTest, newCategoryGoesAfterTheLastLiveOneAndIsEditedNextTurn) {
    struct Case {
        std::vector<std::pair<std::int64_t, const char*>> existing;
        std::int64_t expectedFlag;
    };
    const Case cases[] = {
        {{}, 1},
        {{{4, kStatusUnmodified}, {2, kStatusModified}}, 5},
        {{{1, kStatusUnmodified}, {9, kStatusDeleted}}, 2},  // tombstones don't count
    };
    for (const auto& c : cases) {
        for (auto& category : all<RecipeCategory>(*m_main)) {
            m_main->deleteObject(category);
        }
        for (const auto& [flag, status] : c.existing) {
            add("x", flag, status);
        }
        auto& controller = start();
        m_column.editedRows.clear();
        auto created = succeeded(controller.newCategory());
        EXPECT_EQ(created->name(), "New Category");
        EXPECT_EQ(created->orderFlag(), c.expectedFlag);
        EXPECT_FALSE(m_main->hasChanges());
        EXPECT_TRUE(m_column.editedRows.empty());
        MainQueue::shared().processPending();
        EXPECT_EQ(m_column.editedRows, std::vector<std::size_t>{*controller.rowForItem(created)});
    }
}

TEST_F(CategoriesControllerTest, renameWritesLiveCategoriesOnlyAndReselectsNextTurn) {
    auto soups = add("Soups", 0);
    auto gone = add("Gone", 1, kStatusDeleted);
    auto& controller = start();
    EXPECT_TRUE(controller.rename(soups, "Broths"));
    EXPECT_FALSE(controller.rename(gone, "Back"));
    EXPECT_FALSE(controller.rename(std::string(kPresetFavorites), "Liked"));
    EXPECT_FALSE(m_main->hasChanges());
    EXPECT_EQ(soups->name(), "Broths");
    EXPECT_EQ(soups->status(), kStatusModified);
    EXPECT_EQ(gone->name(), "Gone");
    EXPECT_EQ(gone->status(), kStatusDeleted);
    EXPECT_EQ(controller.displayText(std::string(kPresetFavorites)), "Favorites");
    m_column.received.clear();
    MainQueue::shared().processPending();
    EXPECT_EQ(m_column.received, std::vector<std::string>{"Broths"});
}

// Names stay unique apart from case whichever way a category gets one, so that a person (and
// an import filing by name) can tell every row apart.
TEST_F(CategoriesControllerTest, namesAreUniqueApartFromCaseAndNeverBlank) {
    auto desserts = add("Desserts", 1);
    auto soups = add("Soups", 2);
    auto& controller = start();
    for (const char* taken : {"Desserts", "desserts", " DESSERTS ", "", "   "}) {
        auto created = controller.newCategoryNamed(taken);
        ASSERT_FALSE(created) << taken;
        EXPECT_EQ(created.error().domain, kCategoryErrorDomain);
        EXPECT_FALSE(controller.rename(soups, taken)) << taken;
    }
    EXPECT_EQ(all<RecipeCategory>(*m_main).size(), 2u);
    EXPECT_EQ(soups->name(), "Soups");
    EXPECT_FALSE(m_main->hasChanges());

    EXPECT_TRUE(controller.rename(desserts, "desserts"));  // its own name, differently cased
    EXPECT_EQ(desserts->name(), "desserts");
    auto cakes = controller.newCategoryNamed("  Cakes ");
    ASSERT_TRUE(cakes);
    EXPECT_EQ((*cakes)->name(), "Cakes");
    EXPECT_EQ((*cakes)->orderFlag(), 3);
    EXPECT_FALSE(m_main->hasChanges());

    EXPECT_EQ(succeeded(controller.newCategory())->name(), "New Category");
    EXPECT_EQ(succeeded(controller.newCategory())->name(), "New Category 2");
}

TEST_F(CategoriesControllerTest, deletionMovesTheSelectionByTheCategorysPlace) {
    struct Case {
        int count;
        std::size_t deleted;
        std::string selected;
    };
    const Case cases[] = {
        {1, 0, "preset All Recipes"},  // the only one
        {3, 2, "c1"},                  // the last: the one before
        {3, 1, "c2"},                  // otherwise: the one after
        {3, 0, "c1"},
    };
    for (const auto& c : cases) {
        for (auto& category : all<RecipeCategory>(*m_main)) {
            m_main->deleteObject(category);
        }
        addNumbered(c.count);
        auto& controller = start();
        auto victim = controller.categories().at(c.deleted);
        controller.selectionDidChange(kPresets + 1 + c.deleted);
        m_column.received.clear();
        EXPECT_EQ(true, controller.deleteItem(victim));
        EXPECT_EQ(m_column.received, std::vector<std::string>{c.selected}) << c.deleted;
        EXPECT_EQ(Column::describe(controller.selection()), c.selected);
        EXPECT_EQ(m_column.removeEnabled, c.count > 1);
        EXPECT_EQ(controller.categories().size(), static_cast<std::size_t>(c.count - 1));
    }
}

TEST_F(CategoriesControllerTest, deletionKeepsATombstoneOnlyWhileSignedIn) {
    for (bool signedIn : {false, true}) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName("Stew");
        auto category = add("Winter", 0);
        recipe->addCategory(category);
        auto& controller = start();
        setLoggedIn(signedIn);
        m_column.questions.clear();
        (void)succeeded(controller.deleteCategory(kPresets + 1));
        EXPECT_EQ(m_column.questions,
                  std::vector<std::string>{"Are you sure you want to delete this category?"});
        EXPECT_FALSE(m_main->hasChanges());
        auto fresh = freshContext();
        auto stored = all<RecipeCategory>(*fresh);
        if (signedIn) {
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_EQ(stored[0]->status(), kStatusDeleted);
            EXPECT_EQ(recipe->categories().size(), 1u);
            m_main->deleteObject(category);
        } else {
            EXPECT_TRUE(stored.empty());
            EXPECT_TRUE(recipe->categories().empty());
        }
        m_main->deleteObject(recipe);
        ASSERT_TRUE(m_main->save());
    }
}

TEST_F(CategoriesControllerTest, deletionAsksOnlyAboutCategoriesAndHonoursCancel) {
    add("Soups", 0);
    auto& controller = start();
    (void)succeeded(controller.deleteCategory(0));
    (void)succeeded(controller.deleteCategory(1));
    (void)succeeded(controller.confirmDeleteCategory());  // "All Recipes" is selected
    EXPECT_TRUE(m_column.questions.empty());
    m_column.answer = false;
    (void)succeeded(controller.deleteCategory(kPresets + 1));
    EXPECT_EQ(m_column.questions.size(), 1u);
    EXPECT_EQ(controller.categories().size(), 1u);
    EXPECT_FALSE(m_main->hasChanges());
}

TEST(CategoryReorder, destinationCountsTheInsertionPointBeforeRemoval) {
    struct Case {
        std::size_t count;
        int childIndex;
        std::size_t source;
        std::optional<std::size_t> destination;
    };
    const int p = static_cast<int>(kPresets);
    const Case cases[] = {
        {5, p + 3, 0, 2},
        {5, p + 0, 3, 0},
        {5, p + 5, 1, 4},
        {5, p + 2, 2, std::nullopt},  // own place
        {5, p + 3, 2, std::nullopt},  // just after itself
        {5, p + 9, 1, 4},             // past the end
        {5, p - 1, 3, std::nullopt},  // among the presets
        {5, -1, 3, std::nullopt},
        {5, p, 7, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CategoriesController::reorderDestination(c.count, c.childIndex, c.source),
                  c.destination)
            << c.childIndex << " " << c.source;
    }
}

TEST_F(CategoriesControllerTest, reorderRewritesEveryPositionInOneSave) {
    add("a", 10);
    add("b", 20);
    add("c", 30);
    add("d", 40);
    add("e", 50);
    auto& controller = start();
    CategoryColumnItem group = CategoryGroupHeading{};
    const int point = static_cast<int>(kPresets) + 3;
    auto dragged = controller.writeItem(controller.categories()[0]);
    ASSERT_EQ(dragged, 0u);
    EXPECT_EQ(controller.validateDrop(CategoryDrag{0}, group, point), DropOperation::Move);
    EXPECT_EQ(controller.validateDrop(CategoryDrag{0}, controller.categories()[2], -1),
              DropOperation::None);
    EXPECT_EQ(false, controller.acceptDrop(CategoryDrag{0}, group, static_cast<int>(kPresets)));
    EXPECT_EQ(saves(), 1u);  // the start's own

    EXPECT_EQ(true, controller.acceptDrop(CategoryDrag{0}, group, point));
    EXPECT_EQ(saves(), 2u);
    EXPECT_EQ(shown(), (std::vector<std::string>{"b/0", "c/1", "a/2", "d/3", "e/4"}));
    for (const auto& category : controller.categories()) {
        EXPECT_EQ(category->status(), kStatusModified);
    }
    m_column.received.clear();
    MainQueue::shared().processPending();
    EXPECT_EQ(m_column.received, std::vector<std::string>{"a"});
}

TEST_F(CategoriesControllerTest, droppedRecipesAreFiledOnlyWhenOneLacksTheCategory) {
    auto soups = add("Soups", 0);
    auto other = add("Other", 1);
    auto leek = m_main->insert<Recipe>();
    leek->setName("Leek");
    leek->addCategory(soups);
    auto pea = m_main->insert<Recipe>();
    pea->setName("Pea");
    pea->setStatus(kStatusUnmodified);
    auto& controller = start();

    RecipesDrag onlyLeek{{leek}};
    RecipesDrag both{{leek, pea}};
    CategoryColumnItem group = CategoryGroupHeading{};
    EXPECT_EQ(controller.validateDrop(onlyLeek, soups, -1), DropOperation::None);
    EXPECT_EQ(controller.validateDrop(both, soups, 0), DropOperation::None);
    EXPECT_EQ(controller.validateDrop(both, std::string(kPresetFavorites), -1),
              DropOperation::None);
    EXPECT_EQ(controller.validateDrop(both, group, static_cast<int>(kPresets)),
              DropOperation::None);
    EXPECT_EQ(controller.validateDrop(onlyLeek, other, -1), DropOperation::Copy);
    EXPECT_EQ(false, controller.acceptDrop(onlyLeek, soups, -1));

    std::string leekHash = leek->hashValue();
    EXPECT_EQ(true, controller.acceptDrop(both, soups, -1));
    EXPECT_EQ(saves(), 2u);  // the start's and one for the one recipe that lacked it
    EXPECT_EQ(pea->status(), kStatusModified);
    EXPECT_EQ(leek->hashValue(), leekHash);
    auto fresh = freshContext();
    auto stored = all<Recipe>(*fresh, "name == 'Pea'");
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_EQ(stored[0]->categories().size(), 1u);
    EXPECT_EQ(stored[0]->categories()[0]->name(), "Soups");
}

TEST_F(CategoriesControllerTest, editAndDeleteMenuItemsNeedACategoryRow) {
    addNumbered(2);
    auto& controller = start();
    struct Case {
        CategoryMenuItem item;
        std::optional<std::size_t> row;
        bool enabled;
    };
    const Case cases[] = {
        {CategoryMenuItem::NewCategory, std::nullopt, true},
        {CategoryMenuItem::NewCategory, 0, true},
        {CategoryMenuItem::Edit, std::nullopt, false},
        {CategoryMenuItem::Edit, 0, false},
        {CategoryMenuItem::Edit, kPresets, false},
        {CategoryMenuItem::Edit, kPresets + 1, true},
        {CategoryMenuItem::Delete, kPresets + 2, true},
        {CategoryMenuItem::Delete, kPresets + 3, false},
        {CategoryMenuItem::Delete, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controller.validateMenuItem(c.item, c.row), c.enabled)
            << static_cast<int>(c.item) << " " << c.row.value_or(99);
    }
}

TEST_F(CategoriesControllerTest, followsChangesSavedElsewhere) {
    add("Soups", 0);
    auto& controller = start();
    int reloads = m_column.reloads;
    auto background = backgroundContext();
    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, background.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    auto bread = background->insert<RecipeCategory>();
    bread->setName("Bread");
    bread->setOrderFlag(1);
    ASSERT_TRUE(background->save());
    // The main context hears of it through the merge, as the application wires it.
    m_main->mergeChangesFromContextDidSave(saved);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Soups/0", "Bread/1"}));
    EXPECT_GT(m_column.reloads, reloads);
    EXPECT_EQ(controller.lastOrderFlag(*m_main), 1);
}

}  // namespace
}  // namespace miravel
