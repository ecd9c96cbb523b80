#pragma once

#include <QListWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/EditCommands.h"
#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"
#include "planner/MealRecipesController.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;

namespace miravel::desktop {

class Shell;
class MealsPane;

// Recipes dragged from the pane's chooser carry their chooser rows; meals dragged between days
// carry the day column and the day list's rows.
inline constexpr const char* kMealRecipeMimeType = "application/x-miravel-meal-recipe-rows";
inline constexpr const char* kMealRowsMimeType = "application/x-miravel-meal-rows";

// One day of the week: its list of type headers and meals, a drop target for recipes and meals.
class DayColumn : public QListWidget, public MealPlannerDayDelegate {
    Q_OBJECT
public:
    DayColumn(MealsPane& pane, int index, ManagedObjectContext& context, QWidget* parent);

    MealPlannerDayController& controller() { return m_controller; }
    int index() const { return m_index; }

    void dayDidChange() override;
    std::size_t runCriticalAlert(const std::string& message,
                                 const std::vector<std::string>& buttons) override;
    void editMeal(const std::shared_ptr<Meal>& meal, Timestamp day) override;
    void openRecipe(const std::shared_ptr<Recipe>& recipe, bool inNewWindow) override;

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    MealsPane& m_pane;
    int m_index;
    MealPlannerDayController m_controller;
};

// The Meals pane: the recipe chooser beside the week of seven day columns, with the week's
// navigation and its grocery-list action above.
class MealsPane : public QWidget, public MealPlannerWeekDelegate, public EditCommandTarget {
    Q_OBJECT
public:
    MealsPane(Shell& shell, QWidget* parent = nullptr);
    ~MealsPane() override;

    MealPlannerWeekController& week() { return *m_week; }
    MealRecipesController& recipes() { return m_recipes; }
    // The chooser's first fetch, which waits until the pane is shown.
    void startChooser();
    DayColumn& day(int index) { return *m_days[static_cast<std::size_t>(index)]; }
    QListWidget* recipeList() const { return m_recipeList; }
    QLabel* weekTitle() const { return m_title; }
    Shell& shell() { return m_shell; }

    // What a drop of this data onto the day column would do, and doing it.
    bool canDrop(const QMimeData& data, int dayIndex) const;
    bool drop(const QMimeData& data, int dayIndex);
    // The meal editor for a meal, or for a new meal on the day when none.
    void editMeal(const std::shared_ptr<Meal>& meal, Timestamp day);
    void addDayToGroceryList(int dayIndex);
    void addWeekToGroceryList();
    void showWeekChooser();
    void printDay(int dayIndex);
    void printWeek();
    void emailWeek();
    void emailDay(int dayIndex);
    // Recipes dragged from the Recipes pane carry that table's rows; this finds their recipes.
    using RecipeRowsResolver =
        std::function<std::vector<std::shared_ptr<Recipe>>(const QByteArray& rows)>;
    void setRecipeRowsResolver(RecipeRowsResolver resolver) { m_recipeRows = std::move(resolver); }

    // Delete: the meal selected in the focused day.
    bool canRunEditCommand(EditCommand command) const override;
    void runEditCommand(EditCommand command) override;

    void weekDidChange(const std::string& title) override;
    void presentIngredientChooser(ChooseIngredientsController& chooser) override;
    void showNotice(const std::string& text) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeChooser();
    void reloadRecipes();
    std::vector<std::shared_ptr<Recipe>> recipesOfDrag(const QMimeData& data) const;
    // The focused day and its selected meal row, when there is one.
    std::optional<std::pair<int, std::size_t>> focusedMeal() const;
    std::shared_ptr<Meal> mealOfDrag(const QMimeData& data) const;

    Shell& m_shell;
    MealRecipesController m_recipes;
    std::unique_ptr<MealPlannerWeekController> m_week;
    std::array<DayColumn*, 7> m_days{};
    std::array<QLabel*, 7> m_headers{};
    QLabel* m_title = nullptr;
    QComboBox* m_scope = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_recipeList = nullptr;
    RecipeRowsResolver m_recipeRows;
};

}  // namespace miravel::desktop
