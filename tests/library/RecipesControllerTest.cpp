#include "library/RecipesController.h"

#include <string>
#include <vector>

#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "model/RecipeCategory.h"
#include "support/StoreTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;
using testing::utc;

class RecordingDelegate : public RecipesControllerDelegate {
public:
    void reloadRecipes() override { ++reloads; }
    void showRecipeCount(const std::string& text, bool showEmptyState) override {
        countText = text;
        emptyState = showEmptyState;
    }
    void setSearchFieldText(const std::string& text) override { searchField = text; }
    void setSearchPlaceholder(const std::string& text) override { placeholder = text; }
    bool confirmDeletion(const std::string& message) override {
        questions.push_back(message);
        return answer;
    }
    void showNotice(const std::string& text) override { notices.push_back(text); }
    void chooseIngredients(const std::vector<std::shared_ptr<Recipe>>& recipes,
                           ManagedObjectContext&, std::function<void(bool)> done) override {
        chooserRecipes = recipes.size();
        done(ingredientsChosen);
    }
    void openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) override {
        windows.push_back(recipe->name().value_or(""));
    }

    int reloads = 0;
    std::string countText, searchField = "untouched", placeholder;
    bool emptyState = false;
    bool answer = true;
    bool ingredientsChosen = false;
    std::size_t chooserRecipes = 0;
    std::vector<std::string> questions, notices, windows;
};

struct Sample {
    const char* name;
    const char* ingredients = nullptr;
    const char* source = nullptr;
    int day = 1;  // created on this day of December 2026
    int rating = 0;
    bool favorite = false;
    bool filed = false;  // in the category "Desserts"
    const char* prep = nullptr;
};

class RecipesControllerTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        m_desserts = m_main->insert<RecipeCategory>();
        m_desserts->setName("Desserts");
        const Sample samples[] = {
            {"Crème brûlée", "2 cups crème fraîche\nsugar", "Café Mörk", 3, 5, true, true, "1 hr"},
            {"Chicken with garlic", "1 chicken\n4 cloves garlic", "Bakery", 5, 3, false, false,
             "45 min"},
            {"Garlic bread", "bread\ngarlic, crushed\nbutter", "bakery corner", 5, 3, false, false,
             "1 hr 30 min"},
            {"Roast chicken", "1 chicken\nlemon", nullptr, 2, 4, true, false, nullptr},
            {"Apple  pie", "apples\nflour", "Grandma", 1, 5, false, true, "10 min"},
        };
        for (const auto& sample : samples) {
            add(sample);
        }
        ASSERT_TRUE(m_main->save());
        m_controller = std::make_unique<RecipesController>(*m_main, &m_delegate);
    }

    std::shared_ptr<Recipe> add(const Sample& sample) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName(sample.name);
        if (sample.ingredients) {
            recipe->setIngredients(sample.ingredients);
        }
        if (sample.source) {
            recipe->setSource(sample.source);
        }
        if (sample.prep) {
            recipe->setPrepTime(sample.prep);
        }
        recipe->setCreated(utc(2026, 12, sample.day, 12, 0));
        recipe->setRating(sample.rating);
        recipe->setOnFavorites(sample.favorite);
        if (sample.filed) {
            recipe->addCategory(m_desserts);
        }
        return recipe;
    }
    std::vector<std::string> shown() const {
        std::vector<std::string> names;
        for (std::size_t row = 0; row < m_controller->count(); ++row) {
            names.push_back(m_controller->recipeAt(row)->name().value_or(""));
        }
        return names;
    }
    std::size_t rowOf(const std::string& name) const {
        for (std::size_t row = 0; row < m_controller->count(); ++row) {
            if (m_controller->recipeAt(row)->name() == name) {
                return row;
            }
        }
        ADD_FAILURE() << name << " is not listed";
        return 0;
    }

    std::shared_ptr<RecipeCategory> m_desserts;
    RecordingDelegate m_delegate;
    std::unique_ptr<RecipesController> m_controller;
};

using Names = std::vector<std::string>;

TEST_F(RecipesControllerTest, searchesEachContextIgnoringCaseAndAccents) {
    struct Case {
        const char* context;
        std::string text;
        Names expected;  // by name, as listed
    };
    const Case cases[] = {
        {kSearchByName, "creme", {"Crème brûlée"}},
        {kSearchByName, "CHICKEN", {"Chicken with garlic", "Roast chicken"}},
        {kSearchByName, "  ", {"Apple  pie"}},  // white space is searched for, not ignored
        {kSearchByName, "garlic, bread", {}},   // commas split ingredient searches only
        {kSearchByIngredient, "chicken, garlic", {"Chicken with garlic"}},
        {kSearchByIngredient, "garlic,, CHICKEN", {"Chicken with garlic"}},
        {kSearchByIngredient, "garlic", {"Chicken with garlic", "Garlic bread"}},
        {kSearchByIngredient, "creme fraiche", {"Crème brûlée"}},
        {kSearchByIngredient,
         " , ,",
         {"Apple  pie", "Chicken with garlic", "Crème brûlée", "Garlic bread", "Roast chicken"}},
        {kSearchBySource, "cafe mork", {"Crème brûlée"}},
        {kSearchBySource, "BAKERY", {"Chicken with garlic", "Garlic bread"}},
        {kSearchBySource, "chicken", {}},
    };
    for (const auto& c : cases) {
        m_controller->changeSearchContext(c.context);
        m_controller->search(c.text);
        EXPECT_EQ(shown(), c.expected) << c.context << " \"" << c.text << "\"";
        EXPECT_EQ(m_controller->searchText(), c.text);
    }
}

TEST_F(RecipesControllerTest, buildsOnePieceOfPredicatePerNonEmptyIngredient) {
    m_controller->changeSearchContext(kSearchByIngredient);
    m_controller->search(" chicken ,, garlic ,");
    ASSERT_TRUE(m_controller->searchPredicate());
    EXPECT_EQ(m_controller->searchPredicate()->description(),
              Predicate::parse("ingredients contains[cd] 'chicken' AND "
                               "ingredients contains[cd] 'garlic'")
                  ->description());

    m_controller->changeSearchContext(kSearchByName);
    m_controller->search("   ");
    ASSERT_TRUE(m_controller->searchPredicate());
    EXPECT_EQ(m_controller->searchPredicate()->description(),
              Predicate::parse("name contains[cd] %@", {Value("   ")})->description());

    m_controller->search("");
    EXPECT_FALSE(m_controller->searchPredicate());
    EXPECT_EQ(shown().size(), 5u);
}

TEST_F(RecipesControllerTest, changingTheSearchContextSearchesAgainWithAPlaceholder) {
    m_controller->search("garlic");
    EXPECT_EQ(shown(), (Names{"Chicken with garlic", "Garlic bread"}));
    m_controller->changeSearchContext(kSearchBySource);
    EXPECT_EQ(m_delegate.placeholder, "Search By Source");
    EXPECT_EQ(shown(), Names{});
    EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Search, kSearchBySource),
              (MenuItemState{true, true}));
    EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Search, kSearchByName),
              (MenuItemState{true, false}));
}

TEST_F(RecipesControllerTest, presetsAndCategoriesFilterAndOrder) {
    struct Case {
        CategorySelection selection;
        Names expected;
    };
    const Case cases[] = {
        {std::string(kPresetAllRecipes),
         {"Apple  pie", "Chicken with garlic", "Crème brûlée", "Garlic bread", "Roast chicken"}},
        // Newest first; the two of 5 December keep the order they were stored in.
        {std::string(kPresetMostRecent),
         {"Chicken with garlic", "Garlic bread", "Crème brûlée", "Roast chicken", "Apple  pie"}},
        {std::string(kPresetTopRated),
         {"Crème brûlée", "Apple  pie", "Roast chicken", "Chicken with garlic", "Garlic bread"}},
        {std::string(kPresetFavorites), {"Crème brûlée", "Roast chicken"}},
        {std::string(kPresetUncategorized),
         {"Chicken with garlic", "Garlic bread", "Roast chicken"}},
        {m_desserts, {"Apple  pie", "Crème brûlée"}},
    };
    for (const auto& c : cases) {
        m_controller->setCategory(c.selection);
        EXPECT_EQ(shown(), c.expected) << c.selection.index();
    }
}

TEST_F(RecipesControllerTest, selectingACategoryClearsTheSearch) {
    m_controller->changeSearchContext(kSearchByIngredient);
    m_controller->search("chicken");
    ASSERT_EQ(shown().size(), 2u);
    m_controller->setCategory(std::string(kPresetFavorites));
    EXPECT_EQ(m_controller->searchText(), "");
    EXPECT_FALSE(m_controller->searchPredicate());
    EXPECT_EQ(m_delegate.searchField, "");
    EXPECT_EQ(shown(), (Names{"Crème brûlée", "Roast chicken"}));
    EXPECT_EQ(m_controller->searchContext(), kSearchByIngredient);
}

TEST_F(RecipesControllerTest, countTextAndTheGridsEmptyState) {
    m_controller->setGridView(true);
    struct Case {
        std::string search;
        CategorySelection selection;
        std::string text;
        bool emptyState;
    };
    auto unused = m_main->insert<RecipeCategory>();
    const Case cases[] = {
        {"", std::string(kPresetAllRecipes), "5 Recipes", false},
        {"creme", std::string(kPresetAllRecipes), "1 Recipe", false},
        {"nothing", std::string(kPresetAllRecipes), "No Recipes", true},
        {"", unused, "No Recipes", false},  // an empty real category shows no label
        {"nothing", m_desserts, "No Recipes", false},
    };
    for (const auto& c : cases) {
        m_controller->setCategory(c.selection);
        m_controller->search(c.search);
        EXPECT_EQ(m_delegate.countText, c.text) << c.search;
        EXPECT_EQ(m_delegate.emptyState, c.emptyState) << c.search;
    }
    m_controller->setGridView(false);  // the list view never shows it
    EXPECT_FALSE(m_delegate.emptyState);
}

TEST_F(RecipesControllerTest, deletingSignedOutRemovesTheRecipe) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    m_controller->setSelectedRows({rowOf("Garlic bread")});
    ASSERT_TRUE(m_controller->deleteRecipe(false));
    EXPECT_EQ(m_delegate.questions, Names{"Are you sure you want to delete this recipe?"});
    EXPECT_EQ(shown().size(), 4u);
    EXPECT_TRUE(m_controller->selectedRows().empty());
    auto fresh = freshContext();
    EXPECT_TRUE(all<Recipe>(*fresh, "name == 'Garlic bread'").empty());
}

TEST_F(RecipesControllerTest, deletingSignedInKeepsATombstoneOutOfTheList) {
    setLoggedIn(true);
    m_controller->setCategory(std::string(kPresetAllRecipes));
    // Selected rows plus the context menu's clicked row.
    m_controller->setSelectedRows({rowOf("Garlic bread")});
    m_controller->setClickedRow(rowOf("Apple  pie"));
    ASSERT_TRUE(m_controller->deleteRecipe(true));
    EXPECT_EQ(m_delegate.questions, Names{"Are you sure you want to delete these recipes?"});
    EXPECT_EQ(shown(), (Names{"Chicken with garlic", "Crème brûlée", "Roast chicken"}));
    auto fresh = freshContext();
    auto kept = all<Recipe>(*fresh, "status == 'deleted'");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0]->photo(), std::nullopt);
}

TEST_F(RecipesControllerTest, deletionNeedsTargetsAndAYes) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    m_controller->setClickedRow(0);  // clicked rows count only for the context menu
    ASSERT_TRUE(m_controller->deleteRecipe(false));
    m_controller->setSelectedRows({7});  // past the end
    ASSERT_TRUE(m_controller->deleteRecipe(false));
    EXPECT_TRUE(m_delegate.questions.empty());
    m_delegate.answer = false;
    m_controller->setSelectedRows({0});
    ASSERT_TRUE(m_controller->deleteRecipe(false));
    EXPECT_EQ(m_delegate.questions.size(), 1u);
    EXPECT_EQ(shown().size(), 5u);
}

TEST_F(RecipesControllerTest, aTombstoneStillListedIsNotDeletedAgain) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    // The list stops following the store, so the tombstone stays listed.
    m_controller->arrayController()->setManagedObjectContext(nullptr);
    auto pie = m_controller->recipeAt(0);
    pie->setStatus(kStatusDeleted);
    ASSERT_TRUE(m_main->save());
    m_controller->arrayController()->setManagedObjectContext(m_main.get());
    ASSERT_EQ(m_controller->recipeAt(0), pie);

    m_controller->setSelectedRows({0});
    ASSERT_TRUE(m_controller->deleteRecipe(false));
    // Signed out, a live recipe would be removed outright; the tombstone is left for sync.
    auto fresh = freshContext();
    EXPECT_EQ(all<Recipe>(*fresh, "status == 'deleted'").size(), 1u);
    EXPECT_EQ(shown().size(), 4u);
}

TEST_F(RecipesControllerTest, inlineEditsWriteMarkAndSave) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    auto pie = m_controller->recipeAt(0);
    pie->setStatus(kStatusUnmodified);
    ASSERT_TRUE(m_main->save());

    ASSERT_TRUE(m_controller->setObjectValue("source", 0, Value("Aunt May")));
    EXPECT_EQ(pie->status(), kStatusModified);
    EXPECT_EQ(pie->hashValue(), pie->generateHash());
    EXPECT_FALSE(m_main->hasChanges());
    ASSERT_TRUE(m_controller->setObjectValue("rating", 0, Value(2)));
    EXPECT_FALSE(m_controller->setObjectValue("rating", 0, Value(6)));
    ASSERT_TRUE(m_controller->setObjectValue("created", 0, Value("yesterday")));  // read-only
    ASSERT_TRUE(m_controller->setObjectValue("name", 9, Value("Nowhere")));       // past the end
    auto fresh = freshContext();
    auto saved = all<Recipe>(*fresh, "name == 'Apple  pie'");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0]->source(), "Aunt May");
    EXPECT_EQ(saved[0]->rating(), 2);
    EXPECT_EQ(saved[0]->created(), utc(2026, 12, 1, 12, 0));
    EXPECT_TRUE(all<Recipe>(*fresh, "name == 'Nowhere'").empty());

    // A recipe that became a tombstone while listed keeps its values.
    m_controller->arrayController()->setManagedObjectContext(nullptr);
    pie->setStatus(kStatusDeleted);
    ASSERT_TRUE(m_main->save());
    ASSERT_TRUE(m_controller->setObjectValue("name", 0, Value("Renamed")));
    EXPECT_EQ(pie->name(), "Apple  pie");
}

TEST_F(RecipesControllerTest, showsColumnValues) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    std::size_t bread = rowOf("Garlic bread");
    m_controller->recipeAt(bread)->setDifficulty("Hard");
    EXPECT_EQ(m_controller->objectValue("name", bread), Value("Garlic bread"));
    EXPECT_EQ(m_controller->objectValue("prep", bread), Value("1 hr 30 min"));
    EXPECT_EQ(m_controller->objectValue("rating", bread), Value(3));
    EXPECT_EQ(m_controller->objectValue("difficulty", bread), Value("Hard"));
    EXPECT_EQ(m_controller->objectValue("difficulty", 0), Value("---"));
    EXPECT_EQ(m_controller->objectValue("cook", 0), Value());
    EXPECT_EQ(m_controller->objectValue("name", 5), Value());
    EXPECT_EQ(m_controller->objectValue("photo", 0), Value());
}

TEST(RecipeListColumns, dateAddedNamesTodayAndYesterday) {
    testing::ScopedTimeZone zone("UTC0");
    auto now = utc(2027, 1, 1, 0, 30);
    EXPECT_EQ(createdDateText(utc(2027, 1, 1, 0, 0), now), "Today");
    EXPECT_EQ(createdDateText(utc(2026, 12, 31, 23, 59), now), "Yesterday");  // across a year
    EXPECT_EQ(createdDateText(utc(2026, 12, 30, 23, 59), now), "12/30/26");
    EXPECT_EQ(createdDateText(utc(2027, 1, 2, 8, 0), now), "01/02/27");  // a clock set back
}

TEST_F(RecipesControllerTest, sortsTimeColumnsByMinutes) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    struct Case {
        const char* column;
        bool ascending;
        Names expected;
    };
    const Case cases[] = {
        // No time counts as none at all; "1 hr" is more than "45 min" although it sorts first
        // as text.
        {"prep",
         true,
         {"Roast chicken", "Apple  pie", "Chicken with garlic", "Crème brûlée", "Garlic bread"}},
        {"prep",
         false,
         {"Garlic bread", "Crème brûlée", "Chicken with garlic", "Apple  pie", "Roast chicken"}},
        {"name",
         false,
         {"Roast chicken", "Garlic bread", "Crème brûlée", "Chicken with garlic", "Apple  pie"}},
    };
    for (const auto& c : cases) {
        m_controller->sortByColumns({{c.column, c.ascending}});
        EXPECT_EQ(shown(), c.expected) << c.column << c.ascending;
    }
    // Cook times are all missing: ties keep the current order.
    m_controller->sortByColumns({{"cook", true}});
    EXPECT_EQ(shown(), cases[2].expected);
}

TEST_F(RecipesControllerTest, favoritesAndGroceryNotices) {
    m_controller->setCategory(std::string(kPresetFavorites));
    m_controller->setClickedRow(rowOf("Roast chicken"));
    auto state = m_controller->validateMenuItem(RecipeMenu::Context, kMenuFavorites);
    EXPECT_EQ(state, (MenuItemState{true, true}));
    ASSERT_TRUE(m_controller->toggleFavorites(state.checked));
    EXPECT_EQ(shown(), Names{"Crème brûlée"});  // the live list followed the save
    EXPECT_EQ(m_delegate.countText, "1 Recipe");

    m_controller->setCategory(std::string(kPresetAllRecipes));
    m_controller->setClickedRow(rowOf("Apple  pie"));
    ASSERT_TRUE(m_controller->toggleFavorites(false));
    EXPECT_EQ(m_controller->recipeAt(rowOf("Apple  pie"))->status(), kStatusModified);
    EXPECT_EQ(m_delegate.notices,
              (Names{"Recipe removed from favorites.", "Recipe added to favorites."}));

    m_delegate.notices.clear();
    m_controller->addToGroceryList();
    EXPECT_EQ(m_delegate.chooserRecipes, 1u);
    EXPECT_TRUE(m_delegate.notices.empty());  // dismissed without choosing
    m_delegate.ingredientsChosen = true;
    m_controller->addToGroceryList();
    EXPECT_EQ(m_delegate.notices, Names{"Recipe added to grocery list."});
}

TEST_F(RecipesControllerTest, validatesTheContextMenu) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    const char* rowItems[] = {
        kMenuOpen,          kMenuOpenInNewWindow, kMenuEdit, kMenuDelete, kMenuAddToGroceryList,
        kMenuAddToMealPlan, kMenuPrint,           kMenuEmail};
    for (std::optional<std::size_t> clicked :
         {std::optional<std::size_t>(), std::optional<std::size_t>(5)}) {
        m_controller->setClickedRow(clicked);
        for (const char* item : rowItems) {
            EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Context, item), MenuItemState{})
                << item;
        }
        EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Context, kMenuFavorites),
                  MenuItemState{});
        EXPECT_TRUE(m_controller->validateMenuItem(RecipeMenu::Context, kMenuNewRecipe).enabled);
    }
    m_controller->setClickedRow(rowOf("Apple  pie"));
    for (const char* item : rowItems) {
        EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Context, item),
                  (MenuItemState{true, false}))
            << item;
    }
    EXPECT_EQ(m_controller->validateMenuItem(RecipeMenu::Context, kMenuFavorites),
              (MenuItemState{true, false}));
}

TEST_F(RecipesControllerTest, opensEveryTargetAndDragsRows) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    m_controller->setSelectedRows({0, 1});
    m_controller->setClickedRow(1);
    m_controller->openRecipeInNewWindow();
    m_controller->setClickedRow(4);
    m_controller->openRecipeInNewWindow();
    EXPECT_EQ(m_delegate.windows, (Names{"Apple  pie", "Chicken with garlic", "Apple  pie",
                                         "Chicken with garlic", "Roast chicken"}));
    auto drag = m_controller->writeRows({3, 0, 8});
    EXPECT_EQ(drag.type, "org.miravel.Miravel.Recipe");
    EXPECT_EQ(drag.rows, (std::vector<std::size_t>{3, 0}));
}

TEST_F(RecipesControllerTest, aFailedFetchIsLoggedAndKeepsTheList) {
    m_controller->setCategory(std::string(kPresetAllRecipes));
    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    m_controller->arrayController()->setManagedObjectContext(nullptr);
    m_controller->search("creme");
    setLogSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Unresolved error ", 0), 0u) << lines[0];
    EXPECT_EQ(shown().size(), 5u);
}

TEST_F(RecipesControllerTest, followsSavedChanges) {
    m_controller->setCategory(m_desserts);
    int reloads = m_delegate.reloads;
    add({"Baklava", nullptr, nullptr, 1, 0, false, true});
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(shown(), (Names{"Apple  pie", "Baklava", "Crème brûlée"}));
    EXPECT_GT(m_delegate.reloads, reloads);
    EXPECT_EQ(m_delegate.countText, "3 Recipes");
}

// What a table following the list row by row hears.
class RowRecorder : public QVArrayControllerDelegate {
public:
    void controller(QVArrayController&, const std::shared_ptr<ManagedObject>&, int index,
                    ChangeType type, int newIndex) override {
        changes.push_back({type, index, newIndex});
    }
    void controllerDidChangeContent(QVArrayController&) override { ++batches; }
    struct Change {
        ChangeType type;
        int index, newIndex;
        bool operator==(const Change&) const = default;
    };
    std::vector<Change> changes;
    int batches = 0;
};

TEST_F(RecipesControllerTest, aRowObserverHearsEachChangeAndTheListIsNotReloaded) {
    RowRecorder rows;
    m_controller->setRowObserver(&rows);
    m_controller->setCategory(std::string(kPresetAllRecipes));
    int reloads = m_delegate.reloads;
    add({"Baklava"});
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(rows.changes, (std::vector<RowRecorder::Change>{{ChangeType::Insert, -1, 1}}));
    EXPECT_EQ(rows.batches, 1);
    EXPECT_EQ(m_delegate.reloads, reloads);
    EXPECT_EQ(m_delegate.countText, "6 Recipes");

    // A renamed recipe moves; the row it leaves and the row it takes are both reported.
    rows.changes.clear();
    m_controller->recipeAt(0)->setName("Zucchini pie");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(rows.changes, (std::vector<RowRecorder::Change>{{ChangeType::Move, 0, 5}}));
    EXPECT_EQ(RecipesController::objectValue("name", *m_controller->recipeAt(5)).asText(),
              "Zucchini pie");

    // A new fetch is not one change: the delegate reloads.
    m_controller->search("garlic");
    EXPECT_GT(m_delegate.reloads, reloads);
}

TEST_F(RecipesControllerTest, aFirstBatchIsShownFirstAndTheRestFollowsAsInsertions) {
    MainQueue& queue = MainQueue::shared();
    m_main->processChangesOnQueue(&queue);
    RowRecorder rows;
    m_controller->setRowObserver(&rows);
    m_controller->setFirstFetchBatch(2);
    m_controller->setCategory(std::string(kPresetAllRecipes));
    // The store's order of the first rows is the list's own.
    EXPECT_EQ(shown(), (Names{"Apple  pie", "Chicken with garlic"}));
    EXPECT_TRUE(m_controller->fetchingRest());
    EXPECT_EQ(m_delegate.countText, "5 Recipes") << "the count is the whole list's";
    const int reloads = m_delegate.reloads;
    queue.processPending();
    EXPECT_FALSE(m_controller->fetchingRest());
    EXPECT_EQ(shown(), (Names{"Apple  pie", "Chicken with garlic", "Crème brûlée", "Garlic bread",
                              "Roast chicken"}));
    using Change = RowRecorder::Change;
    EXPECT_EQ(rows.changes, (std::vector<Change>{{ChangeType::Insert, -1, 2},
                                                 {ChangeType::Insert, -1, 3},
                                                 {ChangeType::Insert, -1, 4}}));
    EXPECT_EQ(m_delegate.reloads, reloads) << "the first rows stay, selection and all";
    EXPECT_EQ(m_delegate.countText, "5 Recipes");

    // Only the first fetch is cut short. A search before the rest arrived fetches whole, and
    // the rest then reads nothing over it.
    RecordingDelegate searching;
    RecipesController early(*m_main, &searching);
    early.setFirstFetchBatch(2);
    early.setCategory(std::string(kPresetAllRecipes));
    early.search("garlic");
    EXPECT_FALSE(early.fetchingRest());
    queue.processPending();
    EXPECT_EQ(early.count(), 2u);
    EXPECT_EQ(searching.countText, "2 Recipes");

    // A change saved before the rest arrived: the whole list is taken afresh.
    RecordingDelegate changing;
    RecipesController changed(*m_main, &changing);
    RowRecorder changedRows;
    changed.setRowObserver(&changedRows);
    changed.setFirstFetchBatch(2);
    changed.setCategory(std::string(kPresetAllRecipes));
    add({"Aioli"});
    ASSERT_TRUE(m_main->save());
    queue.processPending();
    EXPECT_EQ(changed.count(), 6u);
    EXPECT_EQ(changed.recipeAt(0)->name(), "Aioli");
    EXPECT_EQ(changing.countText, "6 Recipes");

    // A batch that holds the whole list has nothing more to read.
    RecordingDelegate whole;
    RecipesController small(*m_main, &whole);
    small.setFirstFetchBatch(10);
    small.setCategory(std::string(kPresetAllRecipes));
    EXPECT_FALSE(small.fetchingRest());
    EXPECT_EQ(small.count(), 6u);
    m_main->processChangesOnQueue(nullptr);
}

}  // namespace
}  // namespace miravel
