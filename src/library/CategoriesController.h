#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lib/Error.h"
#include "library/CategorySelection.h"
#include "store/QVArrayController.h"

namespace miravel {

class MainQueue;
class ManagedObjectContext;
class Recipe;
class UserSettings;

// The heading row above the presets and categories; never selectable.
struct CategoryGroupHeading {
    bool operator==(const CategoryGroupHeading&) const = default;
};

// A row of the category column: the heading, a preset (its English key) or a category.
using CategoryColumnItem =
    std::variant<CategoryGroupHeading, std::string, std::shared_ptr<RecipeCategory>>;

// What is being dragged over the column: one of the categories (its index among them), or
// recipes from the recipe list (resolved from their rows by whoever reads the pasteboard).
struct CategoryDrag {
    std::size_t index = 0;
};
struct RecipesDrag {
    std::vector<std::shared_ptr<Recipe>> recipes;
};
using CategoryColumnDrag = std::variant<CategoryDrag, RecipesDrag>;

enum class DropOperation { None, Move, Copy };

// The commands of the column's menus.
enum class CategoryMenuItem { NewCategory, Edit, Delete };

// What the column asks of the widgets that show it.
class CategoriesControllerDelegate {
public:
    virtual ~CategoriesControllerDelegate() = default;
    // The warning sheet with "Delete" and "Cancel"; true for "Delete".
    virtual bool confirmDeletion(const std::string& message) = 0;
    virtual void reloadTree() {}
    // Rows count the heading as row 0, so child i of the group is row i + 1.
    virtual void selectRow(std::size_t row) { (void)row; }
    virtual void editNameInPlace(std::size_t row) { (void)row; }
    virtual void setRemoveButtonEnabled(bool enabled) { (void)enabled; }
};

// The category column of the Recipes pane: a heading, the presets and the user's categories
// (a live query). It tells the recipe list what is selected, and creates, renames, deletes
// and reorders categories and files dropped recipes into them.
class CategoriesController : private QVArrayControllerDelegate {
public:
    static constexpr std::size_t kPresetCount = std::size(kCategoryPresets);

    CategoriesController(ManagedObjectContext& context, UserSettings& settings,
                         CategorySelectionListener& recipeList,
                         CategoriesControllerDelegate& delegate);
    ~CategoriesController() override;
    CategoriesController(const CategoriesController&) = delete;
    CategoriesController& operator=(const CategoriesController&) = delete;

    // Start-up: fetches the categories and selects "All Recipes".
    void start();

    // The sort keys of every category list: by name then position, or position then name.
    static std::vector<SortDescriptor> sortDescriptors(bool alphabetize);
    // The highest position among live categories, 0 when there are none or on failure.
    static std::int64_t lastOrderFlag(ManagedObjectContext& context);
    // Where a category dropped at `childIndex` of the group ends up, counted among the
    // categories; nothing when the drop is outside them or would not move it.
    static std::optional<std::size_t> reorderDestination(std::size_t categoryCount, int childIndex,
                                                         std::size_t source);

    void fetchCategories();
    bool alphabetizeCategories() const { return m_alphabetize; }
    void setAlphabetizeCategories(bool alphabetize);
    const std::vector<std::shared_ptr<RecipeCategory>>& categories() const { return m_categories; }

    // The tree. A null item is the root, whose only child is the heading.
    std::size_t numberOfChildren(const CategoryColumnItem* item) const;
    CategoryColumnItem child(std::size_t index, const CategoryColumnItem* item) const;
    bool isExpandable(const CategoryColumnItem& item) const;
    bool shouldSelect(const CategoryColumnItem& item) const;
    bool shouldEdit(const CategoryColumnItem& item) const;
    std::string displayText(const CategoryColumnItem& item) const;
    std::optional<CategoryColumnItem> itemAtRow(std::size_t row) const;
    std::optional<std::size_t> rowForItem(const CategoryColumnItem& item) const;

    // The user selected a row (outlineViewSelectionDidChange).
    void selectionDidChange(std::size_t row);
    const CategorySelection& selection() const { return m_selection; }
    bool removeButtonEnabled() const;

    [[nodiscard]] Result<std::shared_ptr<RecipeCategory>> newCategory();
    // A category with a name given at once (no in-place edit follows), saved; refused as
    // RecipeCategory::checkedName refuses.
    [[nodiscard]] Result<std::shared_ptr<RecipeCategory>> newCategoryNamed(const std::string& name);
    // An in-place edit of a row's text; a blank name or another category's is refused.
    [[nodiscard]] Result<void> rename(const CategoryColumnItem& item, const std::string& name);
    // The remove button: asks about the selected item.
    [[nodiscard]] Result<bool> confirmDeleteCategory();
    // The context menu: asks about the clicked row.
    [[nodiscard]] Result<bool> deleteCategory(std::size_t clickedRow);
    // Asks, then deletes; false when nothing was deleted.
    [[nodiscard]] Result<bool> deleteItem(const CategoryColumnItem& item);

    // Drag and drop. A category's drag carries its index among the categories.
    std::optional<std::size_t> writeItem(const CategoryColumnItem& item) const;
    DropOperation validateDrop(const CategoryColumnDrag& drag, const CategoryColumnItem& item,
                               int childIndex) const;
    [[nodiscard]] Result<bool> acceptDrop(const CategoryColumnDrag& drag,
                                          const CategoryColumnItem& item, int childIndex);

    bool validateMenuItem(CategoryMenuItem item, std::optional<std::size_t> clickedRow) const;

private:
    void controllerDidChangeContent(QVArrayController&) override;
    bool takesObjectChanges() const override { return false; }

    void select(const CategorySelection& selection);
    void reselectLater(const std::shared_ptr<RecipeCategory>& category);
    std::optional<std::size_t> indexOf(const RecipeCategory* category) const;
    std::vector<std::shared_ptr<Recipe>> recipesLacking(const RecipesDrag& drag,
                                                        const RecipeCategory& category) const;
    [[nodiscard]] Result<void> save();

    ManagedObjectContext& m_context;
    CategorySelectionListener& m_recipeList;
    CategoriesControllerDelegate& m_delegate;
    MainQueue& m_queue;
    bool m_alphabetize = false;
    std::unique_ptr<QVArrayController> m_query;
    std::vector<std::shared_ptr<RecipeCategory>> m_categories;
    CategorySelection m_selection{std::string(kPresetAllRecipes)};
    // Lets a task posted for the next turn notice that the controller is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
