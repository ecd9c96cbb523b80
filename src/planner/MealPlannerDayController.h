#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lib/DateText.h"
#include "lib/Error.h"
#include "store/QVArrayController.h"

namespace miravel {

class ManagedObjectContext;
class Meal;
class Recipe;

// A row of the day list: a meal type's header (its typeString) or a meal.
using MealRow = std::variant<std::string, std::shared_ptr<Meal>>;

// The day list's context menu.
enum class DayMenuAction { AddMeal, EditMeal, DeleteMeal, OpenRecipe, OpenRecipeInNewWindow };

// The pasteboard payload of a dragged meal: rows of the day list, the last naming the meal.
struct MealDragPayload {
    std::vector<std::size_t> rows;
};

inline constexpr const char* kDeleteMealQuestion =
    "Are you sure you want to remove this recipe from the meal planner?";

// What the day list shows and asks; every call is optional.
class MealPlannerDayDelegate {
public:
    virtual ~MealPlannerDayDelegate() = default;
    virtual void dayDidChange() {}
    // A critical alert; the index of the button pressed. Unanswered means the last button.
    virtual std::size_t runCriticalAlert(const std::string& message,
                                         const std::vector<std::string>& buttons) {
        (void)message;
        return buttons.empty() ? 0 : buttons.size() - 1;
    }
    // Open the meal editor for this meal, or for a new meal on `day` when none.
    virtual void editMeal(const std::shared_ptr<Meal>& meal, Timestamp day) {
        (void)meal, (void)day;
    }
    virtual void openRecipe(const std::shared_ptr<Recipe>& recipe, bool inNewWindow) {
        (void)recipe, (void)inNewWindow;
    }
};

// The day list of the Meals pane: one day's meals under a header per meal type, live.
class MealPlannerDayController : private QVArrayControllerDelegate {
public:
    MealPlannerDayController(ManagedObjectContext& context, MealPlannerDayDelegate* delegate);
    ~MealPlannerDayController() override;
    MealPlannerDayController(const MealPlannerDayController&) = delete;
    MealPlannerDayController& operator=(const MealPlannerDayController&) = delete;

    // Shows the day holding `day` and refetches.
    void setDate(Timestamp day);
    Timestamp date() const { return m_date; }
    // The title: the day in the full date style.
    std::string titleText() const;

    const std::vector<MealRow>& rows() const { return m_rows; }
    // The meals alone, in list order.
    std::vector<std::shared_ptr<Meal>> meals() const;
    std::shared_ptr<Meal> mealAtRow(std::size_t row) const;
    // "No meals scheduled." shows.
    bool showsNoMeals() const { return m_rows.empty(); }
    // The order flag a meal added to the shown day comes after.
    std::int64_t lastOrderFlag() const;

    bool validateMenuItem(DayMenuAction action, std::optional<std::size_t> clickedRow) const;
    void addMeal();
    void editMeal(std::size_t row);
    void openRecipe(std::size_t row, bool inNewWindow);
    // Asks first; false when the row is no meal or the user kept it.
    [[nodiscard]] Result<bool> deleteMeal(std::size_t row);

    // Header rows cannot be dragged.
    std::optional<MealDragPayload> dragPayload(const std::vector<std::size_t>& rows) const;
    std::shared_ptr<Meal> mealForPayload(const MealDragPayload& payload) const;

private:
    bool takesObjectChanges() const override { return false; }
    void controllerDidChangeContent(QVArrayController&) override;
    void rebuildRows();

    ManagedObjectContext& m_context;
    MealPlannerDayDelegate* m_delegate;
    Timestamp m_date{};
    QVArrayController m_meals;
    std::vector<MealRow> m_rows;
};

}  // namespace miravel
