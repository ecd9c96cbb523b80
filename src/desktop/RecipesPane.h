#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "desktop/EditCommands.h"
#include "library/RecipesController.h"

class QLabel;
class QLineEdit;
class QStackedWidget;
class QTableView;
class QToolButton;

namespace miravel::desktop {

class CategoryColumn;
class RecipeTableModel;
class RecipeView;
class Shell;

// The Recipes pane: the category column, the searchable recipe table and, in its place when a
// recipe is opened, the recipe view.
class RecipesPane : public QWidget, public RecipesControllerDelegate, public EditCommandTarget {
    Q_OBJECT
public:
    RecipesPane(Shell& shell, QWidget* parent = nullptr);
    ~RecipesPane() override;

    // Fetches the categories and selects "All Recipes".
    void start();

    RecipesController& controller() { return *m_controller; }
    RecipeTableModel& model() { return *m_model; }
    CategoryColumn& categoryColumn() { return *m_categories; }
    QTableView* table() const { return m_table; }
    QLineEdit* searchField() const { return m_search; }
    RecipeView& recipeView() { return *m_view; }
    bool showsRecipe() const;
    void showList();
    // The rows of the table's selection, for the commands of the menus.
    void syncSelection();
    void deleteSelected();
    void focusSearch();
    // The recipes a drag of the table's rows carries (the table's own data).
    std::vector<std::shared_ptr<Recipe>> recipesOfDrag(const QByteArray& rows) const;

    // The Recipe menu's commands: on the recipe shown, else on the table's current row.
    enum class Command {
        Open,
        OpenInNewWindow,
        Favorite,
        AddToGroceryList,
        AddToMealPlan,
        Scale,
        ViewSource
    };
    void run(Command command);

    // Delete: the selected recipes, or the selected category when the column has the focus.
    bool canRunEditCommand(EditCommand command) const override;
    void runEditCommand(EditCommand command) override;

    void reloadRecipes() override;
    void showRecipeCount(const std::string& text, bool showEmptyState) override;
    void setSearchFieldText(const std::string& text) override;
    void setSearchPlaceholder(const std::string& text) override;
    void clearSelection() override;
    bool confirmDeletion(const std::string& message) override;
    void showNotice(const std::string& text) override;
    void chooseIngredients(const std::vector<std::shared_ptr<Recipe>>& recipes,
                           ManagedObjectContext& context, std::function<void(bool)> done) override;
    void emailRecipe(const std::shared_ptr<Recipe>& recipe) override;
    void printRecipe(const std::shared_ptr<Recipe>& recipe) override;
    void openRecipe(const std::shared_ptr<Recipe>& recipe) override;
    void openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) override;
    void editRecipe(const std::shared_ptr<Recipe>& recipe) override;
    void newRecipe() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeListPage();
    void fetchRest();
    void showContextMenu(const QPoint& position);
    void clickRow(int row);
    void addClickedToMealPlan();

    Shell& m_shell;
    std::unique_ptr<RecipesController> m_controller;
    RecipeTableModel* m_model = nullptr;
    CategoryColumn* m_categories = nullptr;
    QToolButton* m_removeCategory = nullptr;
    QStackedWidget* m_stack = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_search = nullptr;
    QLabel* m_count = nullptr;
    RecipeView* m_view = nullptr;
    int m_clickedRow = -1;
    // The rest of the list's first fetch, read after the first rows are drawn.
    std::function<void()> m_afterFirstPaint;
};

}  // namespace miravel::desktop
