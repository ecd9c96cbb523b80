#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "grocery/ConsolidatedItem.h"
#include "lib/Error.h"
#include "store/QVArrayController.h"

namespace miravel {

class GroceryListCategoriesController;
class GroceryListItem;
class MailHandoff;
class MainQueue;
class ManagedObjectContext;
class PrintHandoff;
class UserSettings;

// English texts of the list (shown through the string table).
inline constexpr const char* kEntireGroceryList = "Entire Grocery List";
inline constexpr const char* kMyItems = "My Items";
inline constexpr const char* kNoItems = "No items.";
inline constexpr const char* kNewItem = "New Item";
inline constexpr const char* kConfirmDeleteGroceryItem =
    "Are you sure you want to delete this grocery list item?";
inline constexpr const char* kConfirmDeleteGroceryItems =
    "Are you sure you want to delete these grocery list items?";
inline constexpr const char* kConfirmClearGroceryList =
    "Are you sure you want to clear the grocery list?";

// Which part of the list the sidebar chose. A recipe choice is kept apart from the presets,
// so a recipe that happens to be called "My Items" is still its own choice.
class GroceryListChoice {
public:
    static GroceryListChoice entireList() { return GroceryListChoice(Kind::EntireList, {}); }
    static GroceryListChoice myItems() { return GroceryListChoice(Kind::MyItems, {}); }
    static GroceryListChoice recipe(std::string name) {
        return GroceryListChoice(Kind::Recipe, std::move(name));
    }

    bool isEntireList() const { return m_kind == Kind::EntireList; }
    bool isMyItems() const { return m_kind == Kind::MyItems; }
    bool isRecipe() const { return m_kind == Kind::Recipe; }
    // Empty for the presets.
    const std::string& recipeName() const { return m_recipe; }
    // The translated preset, or the recipe name.
    std::string title() const;
    bool operator==(const GroceryListChoice&) const = default;

private:
    enum class Kind { EntireList, MyItems, Recipe };
    GroceryListChoice(Kind kind, std::string recipe) : m_kind(kind), m_recipe(std::move(recipe)) {}
    Kind m_kind;
    std::string m_recipe;
};

// The filter segments.
enum class GroceryFilter : int { All = 0, Bought = 1, ToBuy = 2 };

// The buttons of the clearing sheet, in order.
enum class ClearChoice { ClearAllItems, ClearPurchased, Cancel };

// The row context menu's items.
enum class GroceryMenuItem { NewItem, Edit, Delete, Purchased, Aisle, Other };

struct GroceryMenuState {
    bool enabled = false;
    bool checked = false;
    bool operator==(const GroceryMenuState&) const = default;
};

// One entry of the "Aisle" submenu.
struct AisleMenuEntry {
    std::string title;  // translated
    int tag = 0;        // position in the aisle table
    bool checked = false;
    bool operator==(const AisleMenuEntry&) const = default;
};

// One section of the list: its title, the aisle its rows share when grouped by aisle, rows.
struct GroceryListSection {
    std::string name;
    std::string aisle;
    std::vector<std::shared_ptr<ConsolidatedItem>> rows;
};

// What the Groceries pane does for the list. Indexes are positions in items(), titles
// included. Every operation has a harmless default.
class GroceryListControllerDelegate {
public:
    virtual ~GroceryListControllerDelegate() = default;
    virtual void reloadTable() {}
    virtual void showEmptyLabel(bool shown) { (void)shown; }
    virtual void setRemoveButtonEnabled(bool enabled) { (void)enabled; }
    virtual void setFilterSegment(GroceryFilter filter) { (void)filter; }
    virtual void selectRows(const std::vector<std::size_t>& rows) { (void)rows; }
    // Puts the row's text into editing.
    virtual void editRow(std::size_t row) { (void)row; }
    // A critical sheet with "Delete" and "Cancel"; true for "Delete".
    virtual bool confirmDeletion(const std::string& message) {
        (void)message;
        return false;
    }
    // A critical sheet with "Clear All Items", "Clear Purchased" and "Cancel".
    virtual ClearChoice confirmClear(const std::string& message) {
        (void)message;
        return ClearChoice::Cancel;
    }
};

// The Groceries pane's list: the live items of the sidebar's choice under the filter, grouped
// into sections by aisle or by recipe, with like items shown as one consolidated row; and
// every operation that adds, edits, checks off, moves or deletes items.
class GroceryListController : private QVArrayControllerDelegate {
public:
    GroceryListController(ManagedObjectContext& context, UserSettings& settings,
                          GroceryListControllerDelegate* delegate = nullptr);
    ~GroceryListController() override;
    GroceryListController(const GroceryListController&) = delete;
    GroceryListController& operator=(const GroceryListController&) = delete;

    void setDelegate(GroceryListControllerDelegate* delegate) { m_delegate = delegate; }
    void setSidebar(GroceryListCategoriesController* sidebar) { m_sidebar = sidebar; }
    ManagedObjectContext& context() const { return m_context; }

    // The two settings; the setters are what the settings window calls after storing them.
    bool consolidateGroceryList() const { return m_consolidate; }
    void setConsolidateGroceryList(bool consolidate);
    bool sortGroceryListByAisles() const { return m_byAisle; }
    void setSortGroceryListByAisles(bool byAisle);
    // Reads both settings again, fetching when either changed.
    void settingsDidChange();

    const std::optional<GroceryListChoice>& selectedRecipe() const { return m_choice; }
    // A new choice is stored with the filter reset to "All", and the list is fetched again.
    void setSelectedRecipe(const GroceryListChoice& choice);
    // The choice with the filter "All", even when the choice was already shown under another.
    void switchTo(const GroceryListChoice& choice);
    GroceryFilter filter() const { return m_filter; }
    void segmentChanged(int segment);

    void fetchGroceryList();
    const GroceryListEntries& items() const { return m_items; }
    const std::vector<GroceryListSection>& sections() const { return m_sections; }
    bool showsEmptyLabel() const { return m_empty; }
    bool shouldConsolidate() const;
    // The row at an index; null for a section title or past the end.
    std::shared_ptr<ConsolidatedItem> rowAt(std::size_t index) const;
    std::optional<std::size_t> indexOfRow(const ConsolidatedItem& row) const;
    std::shared_ptr<ConsolidatedItem> consolidatedItemForGroceryListItem(
        const GroceryListItem& item) const;
    // The section's rows for this ingredient; none for an empty or absent one.
    static std::vector<std::shared_ptr<ConsolidatedItem>> filterConsolidatedItems(
        const GroceryListSection& section, const std::string& ingredient);
    // Places an item into a section: merged into its first row that takes it, or (when
    // `create`) as a new row appended to the section and to items(). `consolidated` tells
    // which happened. Null when nothing took it and nothing was created.
    std::shared_ptr<ConsolidatedItem> insertGroceryListItem(
        const std::shared_ptr<GroceryListItem>& item, GroceryListSection& section,
        bool shouldConsolidate, bool shouldCreateItem, bool* consolidated);

    // The table's selection, as the user changed it.
    void selectionDidChange(std::vector<std::size_t> rows);
    const std::vector<std::size_t>& selectedRows() const { return m_selectedRows; }
    bool removeButtonEnabled() const { return !m_selectedRows.empty(); }
    bool isAddingNewItem() const { return m_newItem != nullptr; }

    // Every operation that changes items saves at once and returns what the save returned;
    // the front end presents a failure as the fatal "Database Error".

    // newItem: and the add button.
    [[nodiscard]] Result<std::shared_ptr<GroceryListItem>> newItem();
    // Next turn: selects the row that wraps the item and puts it into editing.
    void editItemOnNextRunLoop(const std::shared_ptr<GroceryListItem>& item);
    // Editing of a row's text started (double-click, "Edit").
    void editItem(std::size_t row);
    // The user ended editing with `text`.
    [[nodiscard]] Result<void> groceryListTableCellEdited(std::size_t row, const std::string& text);
    [[nodiscard]] Result<void> groceryListTableCellCheckboxToggled(std::size_t row);
    // The menu's "Purchased": selected rows and the clicked row, each by its own state.
    [[nodiscard]] Result<void> togglePurchased(std::optional<std::size_t> clickedRow);

    // menuNeedsUpdate: for the "Aisle" submenu.
    std::vector<AisleMenuEntry> aisleMenu(std::optional<std::size_t> clickedRow) const;
    [[nodiscard]] Result<void> changeAisle(int tag, std::optional<std::size_t> clickedRow);
    GroceryMenuState validateMenuItem(GroceryMenuItem item, std::optional<std::size_t> clickedRow,
                                      int aisleTag = -1) const;

    // Drag and drop; only while grouped by aisle.
    static std::string pasteboardType();
    // The rows a drag carries; none when dragging is not possible.
    std::optional<std::vector<std::size_t>> writeRows(const std::vector<std::size_t>& rows) const;
    // A drop between rows ("above" row `row`, `onRow` false); true for a move.
    bool validateDrop(const std::string& type, std::size_t row, bool onRow) const;
    [[nodiscard]] Result<bool> acceptDrop(const std::vector<std::size_t>& draggedRows,
                                          std::size_t row, bool onRow);
    // The aisle key of the nearest section above `index`.
    std::optional<std::string> aisleForIndex(std::size_t index) const;

    // The remove button (selected rows) and the menu's "Delete" (selected plus clicked).
    [[nodiscard]] Result<bool> deletePressed();
    [[nodiscard]] Result<bool> deleteItem(std::optional<std::size_t> clickedRow);
    // Asks, then deletes every item of the rows; false when nothing was deleted.
    [[nodiscard]] Result<bool> confirmDeleteItems(
        const std::vector<std::shared_ptr<ConsolidatedItem>>& rows);
    // Asks whether to clear everything or only what was bought; false when nothing was asked
    // for.
    [[nodiscard]] Result<bool> clearGroceryList();
    // Deletes every live item of the recipe, whatever is shown.
    [[nodiscard]] Result<void> removeItemsFromRecipe(const std::string& recipeName);

private:
    void controllerDidChangeContent(QVArrayController&) override { constructData(); }
    bool takesObjectChanges() const override { return false; }

    void constructData();
    void refetch();
    std::string sectionTitle(const GroceryListItem& item) const;
    void saveSelection();
    void restoreSelection();
    void setSelection(std::vector<std::size_t> rows);
    std::vector<std::shared_ptr<ConsolidatedItem>> chosenRows(
        std::optional<std::size_t> clickedRow) const;
    void deleteItems(const std::vector<std::shared_ptr<GroceryListItem>>& items);
    [[nodiscard]] Result<void> save();

    ManagedObjectContext& m_context;
    UserSettings& m_settings;
    GroceryListControllerDelegate* m_delegate;
    GroceryListCategoriesController* m_sidebar = nullptr;
    MainQueue& m_queue;
    bool m_consolidate = true;
    bool m_byAisle = true;
    std::optional<GroceryListChoice> m_choice;
    GroceryFilter m_filter = GroceryFilter::All;
    std::unique_ptr<QVArrayController> m_query;
    GroceryListEntries m_items;
    std::vector<GroceryListSection> m_sections;
    bool m_empty = true;
    bool m_isUpdating = false;
    std::vector<std::size_t> m_selectedRows;
    std::optional<std::size_t> m_editedRow;
    // The selection and the edit in progress, by the items their rows wrap, across a rebuild.
    std::vector<std::shared_ptr<GroceryListItem>> m_selectedItems;
    std::shared_ptr<GroceryListItem> m_editedItem;
    // The item "New Item" made, until its first edit.
    std::shared_ptr<GroceryListItem> m_newItem;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
