#include "planner/EditMealController.h"

#include <chrono>

#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"
#include "planner/WeekCalendar.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

EditMealController::EditMealController(ManagedObjectContext& context, UserSettings& settings)
    : m_context(context), m_settings(settings) {
    resetFields();
}

void EditMealController::resetFields() {
    m_meal.reset();
    m_mode = Mode::Name;
    m_name.clear();
    m_recipe.reset();
    m_type = m_settings.integer("SelectedMealType");
    m_date = currentMoment();
}

void EditMealController::setMeal(const std::shared_ptr<Meal>& meal) {
    resetFields();
    m_meal = meal;
    if (!meal) {
        return;
    }
    m_date = meal->date().value_or(m_date);
    m_type = meal->type();
    m_recipe = meal->recipe();
    if (m_recipe) {
        m_mode = Mode::Recipe;
    } else {
        m_name = meal->name().value_or("");
    }
}

std::string EditMealController::recipeButtonTitle() const {
    return m_recipe ? m_recipe->name().value_or("") : tr("Choose Recipe");
}

bool EditMealController::isDoneEnabled() const {
    return m_mode == Mode::Name || m_recipe != nullptr;
}

Result<std::shared_ptr<Meal>> EditMealController::donePressed() {
    if (!isDoneEnabled()) {
        return std::unexpected(Error{"miravel.planner", 2, tr("Choose a recipe first."), {}});
    }
    // Meals sit at the start of their day: the week list's query ends at its last day's
    // start, and a move sets the target day's start too.
    const Timestamp day = WeekCalendar(1).dateByMovingToBeginningOfDay(m_date);
    auto meal = m_meal;
    if (!meal) {
        const std::int64_t orderFlag = lastMealOrderFlagForDay(m_context, day) + 1;
        meal = m_context.insert<Meal>();
        meal->setOrderFlag(orderFlag);
    }
    // Whatever the other mode's field still holds is dropped: the switch says which one the
    // user meant.
    if (m_mode == Mode::Recipe) {
        meal->setRecipe(m_recipe);
        meal->setName(std::nullopt);
    } else {
        meal->setName(m_name);
        meal->setRecipe(nullptr);
    }
    meal->setStatus(kStatusModified);
    meal->setDate(day);
    meal->setType(m_type);
    if (auto saved = m_context.save(); !saved) {
        return std::unexpected(saved.error());
    }
    resetFields();
    return meal;
}

}  // namespace miravel
