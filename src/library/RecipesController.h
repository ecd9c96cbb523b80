#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "library/CategorySelection.h"
#include "library/RecipeListColumns.h"
#include "model/Recipe.h"
#include "model/RecipeSearch.h"
#include "store/Predicate.h"
#include "store/QVArrayController.h"

namespace miravel {

class ManagedObjectContext;

// Titles of the context menu's items (English keys), in menu order.
inline constexpr const char* kMenuNewRecipe = "New Recipe";
inline constexpr const char* kMenuOpen = "Open";
inline constexpr const char* kMenuOpenInNewWindow = "Open in New Window";
inline constexpr const char* kMenuEdit = "Edit";
inline constexpr const char* kMenuDelete = "Delete";
inline constexpr const char* kMenuAddToGroceryList = "Add to Grocery List";
inline constexpr const char* kMenuAddToMealPlan = "Add to Meal Plan";
inline constexpr const char* kMenuPrint = "Print";
inline constexpr const char* kMenuEmail = "Email";
inline constexpr const char* kMenuFavorites = "Favorites";

enum class RecipeMenu { Context, Search };

struct MenuItemState {
    bool enabled = false;
    bool checked = false;
    bool operator==(const MenuItemState&) const = default;
};

// What the Recipes pane does for the list: show, ask, open. Every operation has a harmless
// default so that a front end implements only what it shows.
class RecipesControllerDelegate {
public:
    virtual ~RecipesControllerDelegate() = default;

    // The result changed (fetched again, or followed a store change): redraw the grid or table.
    virtual void reloadRecipes() {}
    // The count label ("3 Recipes", "No Recipes") and the grid's empty-state label.
    virtual void showRecipeCount(const std::string& text, bool showEmptyState) {
        (void)text, (void)showEmptyState;
    }
    virtual void setSearchFieldText(const std::string& text) { (void)text; }
    virtual void setSearchPlaceholder(const std::string& text) { (void)text; }
    virtual void clearSelection() {}
    // A warning sheet with "Delete" and "Cancel"; true for "Delete".
    virtual bool confirmDeletion(const std::string& message) {
        (void)message;
        return false;
    }
    // The transient notice in the pane's bottom-right corner.
    virtual void showNotice(const std::string& text) { (void)text; }

    // The ingredient chooser for these recipes in this context; `done(true)` when it is
    // dismissed with ingredients chosen.
    // By value: a front end keeps the callback until its sheet ends.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void chooseIngredients(const std::vector<std::shared_ptr<Recipe>>& recipes,
                                   ManagedObjectContext& context, std::function<void(bool)> done) {
        (void)recipes, (void)context, (void)done;
    }
    virtual void emailRecipe(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void printRecipe(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void openRecipe(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void editRecipe(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void newRecipe() {}
};

// The recipes the Recipes pane lists: the category column's selection, the search text in
// its context and the exclusion of tombstones, in the chosen order, plus the commands on
// listed recipes. The view tells it the selected rows and the clicked row (the row a
// context menu or a double click is about); commands on rows past the end do nothing.
class RecipesController final : public CategorySelectionListener, public QVArrayControllerDelegate {
public:
    explicit RecipesController(ManagedObjectContext& context,
                               RecipesControllerDelegate* delegate = nullptr);
    ~RecipesController() override;
    RecipesController(const RecipesController&) = delete;
    RecipesController& operator=(const RecipesController&) = delete;

    void setDelegate(RecipesControllerDelegate* delegate) { m_delegate = delegate; }

    // Filter and order by the selection, empty the search, fetch.
    void setCategory(const CategorySelection& selection) override;
    const CategorySelection& category() const { return m_category; }
    // Rebuilds the search predicate from the search field's text and fetches.
    void search(const std::string& text);
    // A search menu item was chosen (its English title): placeholder, then search again.
    void changeSearchContext(const std::string& title);
    const std::string& searchContext() const { return m_searchContext; }
    const std::string& searchText() const { return m_searchText; }
    const std::optional<Predicate>& searchPredicate() const { return m_searchPredicate; }
    const std::optional<Predicate>& categoryPredicate() const { return m_categoryPredicate; }
    const SortDescriptor& recipeSortDescriptor() const { return m_sort; }

    // Runs the query (status AND search AND category) and refreshes the count. A failure is
    // logged and the previous result stays.
    void fetchRecipes();
    // The list's first fetch reads only this many rows, in order, and the rest later: a large
    // library shows its first screen without waiting for the whole list. `later` runs the
    // rest when the front end is ready (once the first rows are drawn); without it the rest
    // comes on the next turn of the context's main queue. The rest arrives as insertions
    // after the first rows (no reload) when nothing changed between. 0 (the default) fetches
    // whole at once.
    using Scheduler = std::function<void(std::function<void()> task)>;
    void setFirstFetchBatch(std::size_t rows, Scheduler later = {}) {
        m_firstBatch = rows;
        m_scheduleRest = std::move(later);
    }
    // Between a first batch and the rest.
    bool fetchingRest() const { return m_restPending; }
    QVArrayController* arrayController() { return m_arrayController.get(); }
    std::size_t count() const;
    std::shared_ptr<Recipe> recipeAt(std::size_t row) const;

    // "%d Recipe", "%d Recipes" or "No Recipes".
    std::string countText() const;
    // The grid's "No Recipes" label: an empty result that is not a real category's.
    bool showsEmptyState() const;
    void setGridView(bool grid);
    void updateNumRecipes();

    // The table's header was clicked: order by these columns (first decides) and reload.
    void sortByColumns(const std::vector<std::pair<std::string, bool>>& columnsAscending);

    // Table cells. Out-of-range rows and unknown columns give null and change nothing.
    Value objectValue(std::string_view column, std::size_t row) const;
    // A cell of a recipe the view still shows at a row the result has already left behind
    // (a table replaying a change step by step).
    static Value objectValue(std::string_view column, const Recipe& recipe);
    [[nodiscard]] Result<void> setObjectValue(std::string_view column, std::size_t row,
                                              Value value);

    // What the view reports.
    void setSelectedRows(std::vector<std::size_t> rows) { m_selectedRows = std::move(rows); }
    void setClickedRow(std::optional<std::size_t> row) { m_clickedRow = row; }
    const std::vector<std::size_t>& selectedRows() const { return m_selectedRows; }

    // Commands.
    [[nodiscard]] Result<void> deleteRecipe(bool fromContextMenu);
    [[nodiscard]] Result<void> toggleFavorites(bool menuItemChecked);
    void addToGroceryList();
    void emailRecipe();
    void printRecipe();
    void openRecipe();
    void openRecipeInNewWindow();
    void editRecipe();
    void newRecipe();

    MenuItemState validateMenuItem(RecipeMenu menu, std::string_view title) const;

    // Dragging rows: the pasteboard type and the rows still in the result.
    RecipeDrag writeRows(const std::vector<std::size_t>& rows) const;

    // A table that follows the result row by row hears each change here; the delegate is then
    // told the new count but not to reload, so a single change never redraws the whole list.
    // A new fetch (category, search, order) still reloads. Not owned.
    void setRowObserver(QVArrayControllerDelegate* observer) { m_rowObserver = observer; }

    void controllerWillChangeContent(QVArrayController& controller) override;
    void controller(QVArrayController& controller, const std::shared_ptr<ManagedObject>& object,
                    int index, ChangeType type, int newIndex) override;
    void controllerDidChangeContent(QVArrayController& controller) override;
    bool takesObjectChanges() const override { return m_rowObserver != nullptr; }

private:
    std::shared_ptr<Recipe> clickedRecipe() const;
    std::vector<std::shared_ptr<Recipe>> targets(bool withClicked) const;
    void reload();
    void fetchRest(std::uint64_t generation);

    ManagedObjectContext& m_context;
    RecipesControllerDelegate* m_delegate;
    QVArrayControllerDelegate* m_rowObserver = nullptr;
    CategorySelection m_category;
    Predicate m_statusPredicate;
    std::optional<Predicate> m_categoryPredicate;
    std::string m_searchContext = kSearchByName;
    std::string m_searchText;
    std::optional<Predicate> m_searchPredicate;
    SortDescriptor m_sort;
    std::unique_ptr<QVArrayController> m_arrayController;
    std::vector<std::size_t> m_selectedRows;
    std::optional<std::size_t> m_clickedRow;
    bool m_gridView = false;
    std::size_t m_firstBatch = 0;
    Scheduler m_scheduleRest;
    bool m_restPending = false;
    // The whole count while only the first rows are fetched.
    std::size_t m_wholeCount = 0;
    // Counts fetches, so that the rest of a first batch is not read over a newer fetch.
    std::uint64_t m_generation = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
