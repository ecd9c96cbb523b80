#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "grocery/ChooseIngredientsController.h"
#include "lib/Error.h"
#include "lib/NotificationCenter.h"
#include "planner/WeekCalendar.h"
#include "store/QVArrayController.h"

namespace miravel {

class MailHandoff;
class ManagedObjectContext;
class Meal;
class MealPlannerDayController;
class PrintHandoff;
class Recipe;
class UserSettings;

// What the week list shows and asks; every call is optional.
class MealPlannerWeekDelegate {
public:
    virtual ~MealPlannerWeekDelegate() = default;
    // The shown week, its title or the meals of its days changed.
    virtual void weekDidChange(const std::string& title) { (void)title; }
    virtual void selectedRowDidChange(int row) { (void)row; }
    // Show the chooser as a sheet; it reports its dismissal to the week list.
    virtual void presentIngredientChooser(ChooseIngredientsController& chooser) { (void)chooser; }
    virtual void showNotice(const std::string& text) { (void)text; }
};

// The span the week popover marks around a proposed date.
struct ChooseWeekSpan {
    Timestamp start;
    Timestamp end;  // the start of the week's last day
};

// The popover marks from the start of the proposed date's week, or from the first of the
// month when that week begins in the month before: the popover shows one month only.
ChooseWeekSpan proposedWeekSpan(const WeekCalendar& calendar, Timestamp proposed);

// The week list of the Meals pane: seven days with their meals, live. It drives the day list
// (the selected day) and the actions menu.
class MealPlannerWeekController : private QVArrayControllerDelegate,
                                  private ChooseIngredientsDelegate {
public:
    using Clock = std::function<Timestamp()>;

    // Starts on the week holding today with today selected, and follows "WeekStartDay"
    // changes announced on `center`.
    MealPlannerWeekController(ManagedObjectContext& context, UserSettings& settings,
                              NotificationCenter& center, MealPlannerWeekDelegate* delegate,
                              MealPlannerDayController* dayList = nullptr,
                              Clock now = currentMoment);
    ~MealPlannerWeekController() override;
    MealPlannerWeekController(const MealPlannerWeekController&) = delete;
    MealPlannerWeekController& operator=(const MealPlannerWeekController&) = delete;

    WeekCalendar calendar() const;
    const Week& week() const { return m_week; }
    int selectedRow() const { return m_selectedRow; }
    Timestamp selectedDay() const { return m_week[static_cast<std::size_t>(m_selectedRow)]; }

    // Shows the week, refetches its meals and selects its first day.
    void setWeek(const Week& week);
    // "%@ - %@": the first and last day in the short date style.
    std::string weekString() const;
    void nextWeek();
    void prevWeek();
    // The popover picked a date: show the week holding it.
    void chooseWeek(Timestamp date);
    // The week holding the day, with the day selected.
    void showDay(Timestamp day);
    // The week holding today, today selected.
    void reloadCalendar();
    // False, and logged, for a row outside the week.
    bool selectRow(int row);

    // The week's meals, by date then type.
    std::vector<std::shared_ptr<Meal>> meals() const;
    std::vector<std::shared_ptr<Meal>> mealsForDay(Timestamp day) const;
    // The recipes of the meals that have one, in list order; a recipe planned twice comes
    // twice, so its ingredients are bought twice.
    std::vector<std::shared_ptr<Recipe>> recipesForWeek() const;
    std::vector<std::shared_ptr<Recipe>> recipesForDay(Timestamp day) const;

    // Dropping a dragged meal onto a day row: refused onto the day it is already on.
    bool validateDrop(const Meal& meal, int row) const;
    [[nodiscard]] Result<void> acceptDrop(const std::shared_ptr<Meal>& meal, int row);

    // The actions menu. The chooser lives until the next one is opened.
    void addWeekToGroceryList();
    void addDayToGroceryList();
    ChooseIngredientsController* ingredientChooser() const { return m_chooser.get(); }
    // The day list shown beside the week, when there is one.
    const MealPlannerDayController* dayList() const { return m_dayList; }

private:
    bool takesObjectChanges() const override { return false; }
    void controllerDidChangeContent(QVArrayController&) override;
    void chooseIngredientsControllerDismissed(ChooseIngredientsController& chooser,
                                              bool ingredientsSelected) override;
    void openChooser(std::vector<std::shared_ptr<Recipe>> recipes);
    void fetchMeals();

    ManagedObjectContext& m_context;
    UserSettings& m_settings;
    MealPlannerWeekDelegate* m_delegate;
    MealPlannerDayController* m_dayList;
    Clock m_now;
    Week m_week{};
    int m_selectedRow = 0;
    QVArrayController m_meals;
    std::unique_ptr<ChooseIngredientsController> m_chooser;
    Observation m_weekStartDayObservation;
};

}  // namespace miravel
