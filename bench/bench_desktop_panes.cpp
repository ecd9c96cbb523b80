// The Meals and Groceries panes redrawing after one change, inside the running program on the
// offscreen platform:
// - a consolidated grocery list of 1,000 items: one row checked off, to the repainted list
//   (goal: one frame, 16 ms), beside the controller's own rebuild of the rows in the same run;
// - a week with 50 meals: the next week shown, to the repainted week (goal: 50 ms), beside
//   the same switch before its repaint (the controllers and the day lists).
// Each figure is the median of the repetitions, in milliseconds.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "GroceryItems.h"
#include "RecipeLibrary.h"
#include "desktop/DesktopApplication.h"
#include "desktop/GroceriesPane.h"
#include "desktop/MainWindow.h"
#include "desktop/MealsPane.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Meal.h"
#include "model/MemoryKeychain.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"
#include "planner/WeekCalendar.h"

using namespace miravel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kItems = 1000;
constexpr int kMeals = 50;
constexpr int kRepeats = 21;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs what the change left for the event loop (the queue's merges), then paints.
void settle(QWidget& shown) {
    QCoreApplication::processEvents();
    MainQueue::shared().processPending();
    shown.repaint();
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    const auto home = bench::scratchFolder("panes-home");
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    MainQueue::shared().adoptCurrentThreadAsMain();
    QApplication app(argc, argv);

    // The library: the grocery list, and 50 meals in the week after this one.
    const auto folder = bench::scratchFolder("panes-library");
    {
        ManagedObjectContext context(bench::openStore(folder), MergePolicy::StoreWins);
        bench::fillGroceryList(context, kItems);
        std::mt19937 random(3);
        std::vector<std::shared_ptr<Recipe>> recipes;
        for (int i = 0; i < 20; ++i) {
            auto recipe = context.insert<Recipe>();
            bench::fillRecipe(*recipe, bench::makeRecipe(random, i));
            recipes.push_back(recipe);
        }
        if (!context.save()) {
            return 1;
        }
    }
    UserSettings settings(folder / "bench-settings.json", &NotificationCenter::defaultCenter());
    settings.setBoolean(kAutomaticBackupsKey, false);
    // A returning user: the first start opens the welcome window instead of the main one.
    settings.setBoolean(kWelcomeDisplayedKey, true);
    MemoryKeychain keychain;
    desktop::DesktopApplication running(folder, settings, keychain,
                                        NotificationCenter::defaultCenter(), MainQueue::shared());
    if (!running.launch() || running.mainWindow() == nullptr) {
        return 1;
    }
    desktop::MainWindow& window = *running.mainWindow();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }

    // Groceries: check a row off and back, alternately; the same row each time.
    window.tabs()->setCurrentIndex(desktop::MainWindow::Groceries);
    desktop::GroceriesPane& groceries = window.groceriesPane();
    GroceryListController& list = groceries.list();
    settle(*groceries.table());
    std::size_t row = 1;
    while (row < list.items().size() && list.rowAt(row) == nullptr) {
        ++row;
    }
    std::vector<double> redraw, rebuild, unseen, paint;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        if (!list.groceryListTableCellCheckboxToggled(row)) {
            return 1;
        }
        settle(*groceries.table());
        redraw.push_back(millisecondsSince(start));
        // The list painted again with nothing changed: the part no reload can save.
        const auto painting = Clock::now();
        groceries.table()->repaint();
        paint.push_back(millisecondsSince(painting));
        // The controller alone: the same rows rebuilt, no table to tell; and the check
        // itself (save, merge, rebuild) with no table to tell.
        list.setDelegate(nullptr);
        const auto alone = Clock::now();
        list.fetchGroceryList();
        rebuild.push_back(millisecondsSince(alone));
        const auto checked = Clock::now();
        if (!list.groceryListTableCellCheckboxToggled(row)) {
            return 1;
        }
        QCoreApplication::processEvents();
        MainQueue::shared().processPending();
        unseen.push_back(millisecondsSince(checked));
        list.setDelegate(&groceries);
        groceries.reloadTable();
    }
    const std::size_t rows = list.items().size() - list.sections().size();

    // Meals: 50 in next week, spread over its days and types.
    window.tabs()->setCurrentIndex(desktop::MainWindow::Meals);
    desktop::MealsPane& meals = window.mealsPane();
    MealPlannerWeekController& week = meals.week();
    {
        ManagedObjectContext& context = running.context();
        auto recipes = context.fetch<Recipe>();
        const WeekCalendar calendar = week.calendar();
        const Timestamp next = calendar.dateByAddingDays(week.week()[0], 7);
        for (int i = 0; i < kMeals; ++i) {
            const Timestamp day = calendar.dateByAddingDays(next, i % 7);
            auto made = createMealWithType(
                context, i % 4, day, (*recipes)[static_cast<std::size_t>(i) % recipes->size()]);
            if (!made) {
                return 1;
            }
        }
        if (!context.save()) {
            return 1;
        }
    }
    settle(meals);
    std::vector<double> toNext, beforePaint;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        week.nextWeek();
        beforePaint.push_back(millisecondsSince(start));
        settle(meals);
        toNext.push_back(millisecondsSince(start));
        week.prevWeek();
        settle(meals);
    }
    std::size_t shown = 0;
    week.nextWeek();
    for (int d = 0; d < 7; ++d) {
        shown += meals.day(d).controller().meals().size();
    }

    std::printf("| work | goal | pane (median of %d) | controller alone |\n|---|---|---|---|\n",
                kRepeats);
    std::printf(
        "| %d items (%zu rows, like items merged): one row checked, to the repainted list | "
        "< 16 ms | %.1f ms | %.1f ms (rows rebuilt); %.1f ms (the check with no pane: save, "
        "merge, rebuild); %.1f ms (the list repainted alone) |\n",
        kItems, rows, median(redraw), median(rebuild), median(unseen), median(paint));
    std::printf(
        "| a week of %zu meals: next week, to the repainted week | < 50 ms | %.1f ms | "
        "%.1f ms (the week and its days fetched and listed, before the repaint) |\n",
        shown, median(toNext), median(beforePaint));
    return 0;
}
