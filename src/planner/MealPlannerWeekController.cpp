#include "planner/MealPlannerWeekController.h"

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/UserSettings.h"
#include "planner/MealPlannerDayController.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

FetchRequest weekRequest() {
    return FetchRequest{Meal::kEntityName,
                        Predicate::falsePredicate(),
                        {SortDescriptor("date"), SortDescriptor("type")},
                        0,
                        true};
}

}  // namespace

ChooseWeekSpan proposedWeekSpan(const WeekCalendar& calendar, Timestamp proposed) {
    const Week week = calendar.daysInWeek(proposed);
    const Timestamp start = calendar.isSameMonth(week.front(), proposed)
                                ? week.front()
                                : calendar.dateByMovingToFirstDayOfTheMonth(proposed);
    return {start, week.back()};
}

MealPlannerWeekController::MealPlannerWeekController(ManagedObjectContext& context,
                                                     UserSettings& settings,
                                                     NotificationCenter& center,
                                                     MealPlannerWeekDelegate* delegate,
                                                     MealPlannerDayController* dayList, Clock now)
    : m_context(context),
      m_settings(settings),
      m_delegate(delegate),
      m_dayList(dayList),
      m_now(std::move(now)),
      m_meals(weekRequest(), &context) {
    m_meals.setDelegate(this);
    m_weekStartDayObservation =
        center.addObserver(kWeekStartDayChangedNotification, nullptr,
                           [this](const Notification&) { reloadCalendar(); });
    reloadCalendar();
}

MealPlannerWeekController::~MealPlannerWeekController() = default;

WeekCalendar MealPlannerWeekController::calendar() const {
    return WeekCalendar::userCalendar(m_settings);
}

void MealPlannerWeekController::setWeek(const Week& week) {
    m_week = week;
    fetchMeals();
    if (m_delegate) {
        m_delegate->weekDidChange(weekString());
    }
    selectRow(0);
}

void MealPlannerWeekController::fetchMeals() {
    m_meals.setFetchPredicate(livePredicateAnd("date >= %@ AND date <= %@",
                                               {Value(m_week.front()), Value(m_week.back())}));
    if (auto fetched = m_meals.performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
}

std::string MealPlannerWeekController::weekString() const {
    return weekPeriodText(m_week);
}

void MealPlannerWeekController::nextWeek() {
    setWeek(calendar().weekAfter(m_week.front()));
}

void MealPlannerWeekController::prevWeek() {
    setWeek(calendar().weekBefore(m_week.front()));
}

void MealPlannerWeekController::chooseWeek(Timestamp date) {
    setWeek(calendar().daysInWeek(date));
}

void MealPlannerWeekController::showDay(Timestamp day) {
    const WeekCalendar user = calendar();
    setWeek(user.daysInWeek(day));
    for (int row = 1; row < static_cast<int>(m_week.size()); ++row) {
        if (user.isSameDay(m_week[static_cast<std::size_t>(row)], day)) {
            selectRow(row);
        }
    }
}

void MealPlannerWeekController::reloadCalendar() {
    showDay(m_now());
}

bool MealPlannerWeekController::selectRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_week.size())) {
        logLine("Row is beyond the bounds of week array");
        return false;
    }
    m_selectedRow = row;
    if (m_dayList) {
        m_dayList->setDate(selectedDay());
    }
    if (m_delegate) {
        m_delegate->selectedRowDidChange(row);
    }
    return true;
}

void MealPlannerWeekController::controllerDidChangeContent(QVArrayController&) {
    if (m_delegate) {
        m_delegate->weekDidChange(weekString());
    }
}

std::vector<std::shared_ptr<Meal>> MealPlannerWeekController::meals() const {
    std::vector<std::shared_ptr<Meal>> meals;
    for (const auto& object : m_meals.arrangedObjects()) {
        meals.push_back(std::static_pointer_cast<Meal>(object));
    }
    return meals;
}

std::vector<std::shared_ptr<Meal>> MealPlannerWeekController::mealsForDay(Timestamp day) const {
    const WeekCalendar user = calendar();
    const Timestamp start = user.dateByMovingToBeginningOfDay(day);
    const Timestamp end = user.dateByAddingDays(start, 1);
    std::vector<std::shared_ptr<Meal>> meals;
    for (auto& meal : this->meals()) {
        if (auto date = meal->date(); date && *date >= start && *date < end) {
            meals.push_back(std::move(meal));
        }
    }
    return meals;
}

namespace {

std::vector<std::shared_ptr<Recipe>> recipesOf(const std::vector<std::shared_ptr<Meal>>& meals) {
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (const auto& meal : meals) {
        if (auto recipe = meal->recipe()) {
            recipes.push_back(std::move(recipe));
        }
    }
    return recipes;
}

}  // namespace

std::vector<std::shared_ptr<Recipe>> MealPlannerWeekController::recipesForWeek() const {
    return recipesOf(meals());
}

std::vector<std::shared_ptr<Recipe>> MealPlannerWeekController::recipesForDay(Timestamp day) const {
    return recipesOf(mealsForDay(day));
}

bool MealPlannerWeekController::validateDrop(const Meal& meal, int row) const {
    if (row < 0 || row >= static_cast<int>(m_week.size())) {
        return false;
    }
    const auto date = meal.date();
    return !date || !calendar().isSameDay(*date, m_week[static_cast<std::size_t>(row)]);
}

Result<void> MealPlannerWeekController::acceptDrop(const std::shared_ptr<Meal>& meal, int row) {
    if (!meal || !validateDrop(*meal, row)) {
        return std::unexpected(
            Error{"miravel.planner", 1, tr("The meal is already on that day."), {}});
    }
    meal->setDate(m_week[static_cast<std::size_t>(row)]);
    meal->setStatus(kStatusModified);
    return m_context.save();
}

void MealPlannerWeekController::addWeekToGroceryList() {
    openChooser(recipesForWeek());
}

void MealPlannerWeekController::addDayToGroceryList() {
    openChooser(recipesForDay(selectedDay()));
}

void MealPlannerWeekController::openChooser(std::vector<std::shared_ptr<Recipe>> recipes) {
    m_chooser =
        std::make_unique<ChooseIngredientsController>(m_context, std::move(recipes), m_settings);
    m_chooser->setDelegate(this);
    if (m_delegate) {
        m_delegate->presentIngredientChooser(*m_chooser);
    }
}

void MealPlannerWeekController::chooseIngredientsControllerDismissed(ChooseIngredientsController&,
                                                                     bool ingredientsSelected) {
    if (ingredientsSelected && m_delegate) {
        m_delegate->showNotice(tr("Meals added to grocery list."));
    }
}

}  // namespace miravel
