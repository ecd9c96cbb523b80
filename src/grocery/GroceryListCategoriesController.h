#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "grocery/GroceryListController.h"
#include "lib/Error.h"
#include "store/QVArrayController.h"

namespace miravel {

class ApplicationHooks;
class MainQueue;
class ManagedObjectContext;

inline constexpr const char* kGroceryRecipesGroup = "Recipes";
inline constexpr const char* kConfirmRemoveGroceryRecipe =
    "Are you sure you want to remove this recipe from the grocery list?";

// What the sidebar asks of its widgets. Rows count the group heading as row 0, so entry i is
// row i + 1.
class GroceryListSidebarDelegate {
public:
    virtual ~GroceryListSidebarDelegate() = default;
    virtual void reloadOutline() {}
    virtual void selectRow(std::size_t row) { (void)row; }
    virtual void setRemoveButtonEnabled(bool enabled) { (void)enabled; }
    // A critical sheet with "Delete" and "Cancel"; true for "Delete".
    virtual bool confirmDeletion(const std::string& message) {
        (void)message;
        return false;
    }
};

// The Groceries pane's sidebar: one group, "Recipes", holding the presets "Entire Grocery
// List" and "My Items" and then the names of the recipes that have items (a live query). It
// tells the list what is chosen and removes a recipe's items.
class GroceryListCategoriesController : private QVArrayControllerDelegate {
public:
    GroceryListCategoriesController(ManagedObjectContext& context, GroceryListController& list,
                                    GroceryListSidebarDelegate* delegate = nullptr);
    ~GroceryListCategoriesController() override;
    GroceryListCategoriesController(const GroceryListCategoriesController&) = delete;
    GroceryListCategoriesController& operator=(const GroceryListCategoriesController&) = delete;

    void setDelegate(GroceryListSidebarDelegate* delegate) { m_delegate = delegate; }

    // Fetches the recipe names and selects "Entire Grocery List".
    void start();
    void fetchCategories();
    // The distinct recipe names, case-insensitively sorted.
    const std::vector<std::string>& recipes() const { return m_recipes; }
    static std::vector<GroceryListChoice> presetCategories();
    // The group's children: the presets, then the recipes.
    std::vector<GroceryListChoice> entries() const;
    std::optional<GroceryListChoice> entryAtRow(std::size_t row) const;
    std::optional<std::size_t> rowForEntry(const GroceryListChoice& entry) const;
    // The group's translated title; the group itself cannot be selected.
    static std::string groupTitle();

    // The user selected a row.
    void selectionDidChange(std::size_t row);
    const GroceryListChoice& selection() const { return m_selection; }
    bool removeButtonEnabled() const { return m_selection.isRecipe(); }
    void selectEntireGroceryList();

    // The remove button (the selected entry) and the context menu (the clicked row).
    [[nodiscard]] Result<bool> deleteRecipePressed();
    [[nodiscard]] Result<bool> deleteRecipe(std::size_t clickedRow);
    bool validateDeleteRecipe(std::size_t clickedRow) const;
    // Asks, removes the recipe's items and picks what to select next; false when cancelled.
    [[nodiscard]] Result<bool> confirmDeleteRecipe(const std::string& recipeName);
    void selectRecipeOnNextRunLoop(const GroceryListChoice& entry);

private:
    void controllerDidChangeContent(QVArrayController&) override;
    bool takesObjectChanges() const override { return false; }
    void select(const GroceryListChoice& entry);

    ManagedObjectContext& m_context;
    GroceryListController& m_list;
    GroceryListSidebarDelegate* m_delegate;
    MainQueue& m_queue;
    std::unique_ptr<QVArrayController> m_query;
    std::vector<std::string> m_recipes;
    GroceryListChoice m_selection = GroceryListChoice::entireList();
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
