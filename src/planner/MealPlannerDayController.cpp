#include "planner/MealPlannerDayController.h"

#include "lib/DateStyles.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "planner/MealCreation.h"
#include "planner/WeekCalendar.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

// Day boundaries do not depend on the first weekday.
const WeekCalendar kDays(1);

FetchRequest dayRequest() {
    return FetchRequest{
        Meal::kEntityName,
        Predicate::falsePredicate(),
        {SortDescriptor("type"), SortDescriptor("orderFlag"), SortDescriptor::localized("name")},
        0,
        true};
}

}  // namespace

MealPlannerDayController::MealPlannerDayController(ManagedObjectContext& context,
                                                   MealPlannerDayDelegate* delegate)
    : m_context(context), m_delegate(delegate), m_meals(dayRequest(), &context) {
    m_meals.setDelegate(this);
}

MealPlannerDayController::~MealPlannerDayController() = default;

void MealPlannerDayController::setDate(Timestamp day) {
    m_date = kDays.dateByMovingToBeginningOfDay(day);
    m_meals.setFetchPredicate(livePredicateAnd(
        "date >= %@ AND date < %@", {Value(m_date), Value(kDays.dateByAddingDays(m_date, 1))}));
    if (auto fetched = m_meals.performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
    rebuildRows();
}

std::string MealPlannerDayController::titleText() const {
    return fullDateText(m_date);
}

void MealPlannerDayController::controllerDidChangeContent(QVArrayController&) {
    rebuildRows();
}

void MealPlannerDayController::rebuildRows() {
    m_rows.clear();
    std::optional<std::int64_t> type;
    for (const auto& object : m_meals.arrangedObjects()) {
        auto meal = std::static_pointer_cast<Meal>(object);
        if (meal->type() != type) {
            type = meal->type();
            m_rows.emplace_back(meal->typeString());
        }
        m_rows.emplace_back(std::move(meal));
    }
    if (m_delegate) {
        m_delegate->dayDidChange();
    }
}

std::vector<std::shared_ptr<Meal>> MealPlannerDayController::meals() const {
    std::vector<std::shared_ptr<Meal>> meals;
    for (const auto& row : m_rows) {
        if (const auto* meal = std::get_if<std::shared_ptr<Meal>>(&row)) {
            meals.push_back(*meal);
        }
    }
    return meals;
}

std::shared_ptr<Meal> MealPlannerDayController::mealAtRow(std::size_t row) const {
    if (row >= m_rows.size()) {
        return nullptr;
    }
    const auto* meal = std::get_if<std::shared_ptr<Meal>>(&m_rows[row]);
    return meal ? *meal : nullptr;
}

std::int64_t MealPlannerDayController::lastOrderFlag() const {
    return lastMealOrderFlagForDay(m_context, m_date);
}

bool MealPlannerDayController::validateMenuItem(DayMenuAction action,
                                                std::optional<std::size_t> clickedRow) const {
    if (action == DayMenuAction::AddMeal) {
        return true;
    }
    auto meal = clickedRow ? mealAtRow(*clickedRow) : nullptr;
    if (!meal) {
        return false;
    }
    // A meal with only a name has no recipe to open.
    if (action == DayMenuAction::OpenRecipe || action == DayMenuAction::OpenRecipeInNewWindow) {
        return meal->recipe() != nullptr;
    }
    return true;
}

void MealPlannerDayController::addMeal() {
    if (m_delegate) {
        m_delegate->editMeal(nullptr, m_date);
    }
}

void MealPlannerDayController::editMeal(std::size_t row) {
    if (auto meal = mealAtRow(row); meal && m_delegate) {
        m_delegate->editMeal(meal, m_date);
    }
}

void MealPlannerDayController::openRecipe(std::size_t row, bool inNewWindow) {
    auto meal = mealAtRow(row);
    auto recipe = meal ? meal->recipe() : nullptr;
    if (recipe && m_delegate) {
        m_delegate->openRecipe(recipe, inNewWindow);
    }
}

Result<bool> MealPlannerDayController::deleteMeal(std::size_t row) {
    auto meal = mealAtRow(row);
    if (!meal) {
        return false;
    }
    const std::vector<std::string> buttons{tr("Delete"), tr("Cancel")};
    if (!m_delegate || m_delegate->runCriticalAlert(tr(kDeleteMealQuestion), buttons) != 0) {
        return false;
    }
    SyncedObject::deleteObjects(m_context, {meal});
    if (auto saved = m_context.save(); !saved) {
        return std::unexpected(saved.error());
    }
    return true;
}

std::optional<MealDragPayload> MealPlannerDayController::dragPayload(
    const std::vector<std::size_t>& rows) const {
    if (rows.empty()) {
        return std::nullopt;
    }
    for (std::size_t row : rows) {
        if (!mealAtRow(row)) {
            return std::nullopt;
        }
    }
    return MealDragPayload{rows};
}

std::shared_ptr<Meal> MealPlannerDayController::mealForPayload(
    const MealDragPayload& payload) const {
    return payload.rows.empty() ? nullptr : mealAtRow(payload.rows.back());
}

}  // namespace miravel
