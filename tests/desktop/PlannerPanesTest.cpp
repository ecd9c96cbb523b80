#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <QMenu>
#include <QMenuBar>
#include <thread>

#include "desktop/GroceriesPane.h"
#include "desktop/MealsPane.h"
#include "desktop/RecipeTableModel.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "model/Meal.h"
#include "planner/WeekCalendar.h"
#include "store/BackgroundContext.h"
#include "support/DesktopTestSupport.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

namespace {

// The drag data the chooser's own list makes for a row, as a real drag would carry it.
std::unique_ptr<QMimeData> dragOfList(QListWidget& list, int row) {
    return std::unique_ptr<QMimeData>(list.model()->mimeData({list.model()->index(row, 0)}));
}

QStringList texts(QListWidget& list) {
    QStringList shown;
    for (int row = 0; row < list.count(); ++row) {
        shown << list.item(row)->text();
    }
    return shown;
}

int rowNamed(QListWidget& list, const QString& text) {
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->text() == text) {
            return row;
        }
    }
    return -1;
}

int rowNamed(const QStringList& shown, const QString& text) {
    return static_cast<int>(shown.indexOf(text));
}

// Presses Done on the modal sheet the next command opens.
void acceptNextSheet() {
    QTimer::singleShot(0, [] {
        if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            sheet->accept();
        }
    });
}

}  // namespace

class PlannerPanesTest : public QObject {
    Q_OBJECT

private slots:
    void recipesDroppedOnADayBecomeItsMealsInOrder() {
        RunningApplication running("drop-recipe");
        QVERIFY(running.launched);
        running.addRecipe("Lentil soup");
        running.addRecipe("Pancakes");
        QVERIFY(running.save());
        auto& pane = running.window().mealsPane();
        pane.startChooser();  // as showing the pane does
        QCOMPARE(texts(*pane.recipeList()), (QStringList{"Lentil soup", "Pancakes"}));
        QCOMPARE(texts(pane.day(3)), QStringList{"No meals scheduled."});

        auto soup = dragOfList(*pane.recipeList(), 0);
        auto pancakes = dragOfList(*pane.recipeList(), 1);
        QVERIFY(pane.canDrop(*soup, 3));
        QVERIFY(!pane.canDrop(*soup, 7));
        QVERIFY(pane.drop(*soup, 3));
        QVERIFY(pane.drop(*pancakes, 3));
        running.save();

        const auto meals = pane.day(3).controller().meals();
        QCOMPARE(meals.size(), std::size_t{2});
        const WeekCalendar calendar = pane.week().calendar();
        for (const auto& meal : meals) {
            QVERIFY(calendar.isSameDay(*meal->date(), pane.week().week()[3]));
        }
        QCOMPARE(*meals[0]->recipe()->name(), std::string("Lentil soup"));
        QVERIFY(meals[1]->integer("orderFlag").value_or(0) >
                meals[0]->integer("orderFlag").value_or(0));
        QVERIFY(texts(pane.day(3)).contains("Pancakes"));
        QCOMPARE(texts(pane.day(2)), QStringList{"No meals scheduled."});

        // The meals stay on their day when the week is left and shown again.
        const QString title = pane.weekTitle()->text();
        QTest::mouseClick(pane.findChild<QPushButton*>("nextWeek"), Qt::LeftButton);
        QVERIFY(pane.weekTitle()->text() != title);
        QCOMPARE(texts(pane.day(3)), QStringList{"No meals scheduled."});
        QTest::mouseClick(pane.findChild<QPushButton*>("previousWeek"), Qt::LeftButton);
        QCOMPARE(pane.weekTitle()->text(), title);
        QVERIFY(texts(pane.day(3)).contains("Lentil soup"));

        // The chooser narrows by the scope it searches in.
        pane.recipes().search("pan");
        QCOMPARE(pane.recipes().recipes().size(), std::size_t{1});
    }

    void aMealDraggedOntoItsOwnDayIsRefusedAndMovesToAnother() {
        RunningApplication running("drag-meal");
        QVERIFY(running.launched);
        running.addRecipe("Risotto");
        QVERIFY(running.save());
        auto& pane = running.window().mealsPane();
        pane.startChooser();  // as showing the pane does
        QVERIFY(pane.drop(*dragOfList(*pane.recipeList(), 0), 1));
        running.save();

        auto& monday = pane.day(1);
        const int row = rowNamed(monday, "Risotto");
        QVERIFY(row > 0);
        auto meal = dragOfList(monday, row);
        QVERIFY(meal != nullptr);
        QVERIFY(!pane.canDrop(*meal, 1));
        QVERIFY(!pane.drop(*meal, 1));
        // A type header is no meal and cannot be dragged.
        QVERIFY(dragOfList(monday, 0) == nullptr);

        QVERIFY(pane.drop(*meal, 5));
        running.save();
        QCOMPARE(texts(monday), QStringList{"No meals scheduled."});
        QVERIFY(texts(pane.day(5)).contains("Risotto"));
    }

    void deletingAMealAsksFirst() {
        RunningApplication running("delete-meal");
        QVERIFY(running.launched);
        running.addRecipe("Tacos");
        QVERIFY(running.save());
        auto& pane = running.window().mealsPane();
        pane.startChooser();  // as showing the pane does
        QVERIFY(pane.drop(*dragOfList(*pane.recipeList(), 0), 4));
        running.save();
        auto& day = pane.day(4);
        const auto row = static_cast<std::size_t>(rowNamed(day, "Tacos"));

        AlertLog alerts;
        alerts.answer = 1;  // Cancel
        QCOMPARE(day.controller().deleteMeal(row).value_or(true), false);
        QCOMPARE(alerts.texts,
                 QStringList{"Are you sure you want to remove this recipe from the meal planner?"});
        QVERIFY(texts(day).contains("Tacos"));

        alerts.answer = 0;  // Delete
        QCOMPARE(day.controller().deleteMeal(row).value_or(false), true);
        running.save();
        QCOMPARE(texts(day), QStringList{"No meals scheduled."});
    }

    void theWeeksMealsGoOntoTheGroceryList() {
        RunningApplication running("week-to-groceries");
        QVERIFY(running.launched);
        running.addRecipe("Omelette", "3 eggs\n1 cup milk");
        running.addRecipe("Salad", "1 head lettuce");
        QVERIFY(running.save());
        auto& pane = running.window().mealsPane();
        pane.startChooser();  // as showing the pane does
        QVERIFY(pane.drop(*dragOfList(*pane.recipeList(), 0), 0));
        QVERIFY(pane.drop(*dragOfList(*pane.recipeList(), 1), 6));
        running.save();

        acceptNextSheet();
        pane.addWeekToGroceryList();
        running.save();
        QStringList descriptions;
        for (const auto& entry : running.window().groceriesPane().list().items()) {
            if (const auto* row = std::get_if<std::shared_ptr<ConsolidatedItem>>(&entry)) {
                descriptions << QString::fromStdString((*row)->name());
            }
        }
        descriptions.sort();
        QCOMPARE(descriptions, (QStringList{"1 cup milk", "1 head lettuce", "3 eggs"}));
    }

    void theGroceryListIsInAisleOrderAndABoughtRowIsStruckThrough() {
        RunningApplication running("groceries");
        QVERIFY(running.launched);
        for (const char* name : {"1 cup milk", "2 apples", "1 loaf bread", "cheddar cheese"}) {
            running.context().insert<GroceryListItem>()->setNameAndUpdateAisle(name);
        }
        QVERIFY(running.save());
        auto& pane = running.window().groceriesPane();
        running.app->settings().setBoolean(kGroceryListAislesKey, true);
        pane.list().settingsDidChange();
        auto& table = *pane.table();

        // Section titles are bold and come in the aisle table's order, each over its rows.
        QStringList sections;
        for (const auto& section : pane.list().sections()) {
            sections << QString::fromStdString(section.name);
        }
        QCOMPARE(sections, (QStringList{"Breads and Cereals", "Dairy", "Produce"}));
        QCOMPARE(table.count(), 7);
        QVERIFY(table.item(0)->font().bold());
        QCOMPARE(table.item(0)->text(), sections[0]);
        const int milk = rowNamed(table, "1 cup milk");
        const int cheese = rowNamed(table, "cheddar cheese");
        QCOMPARE(std::abs(milk - cheese), 1);  // one aisle, one section

        QVERIFY(!table.item(milk)->font().strikeOut());
        table.item(milk)->setCheckState(Qt::Checked);
        running.save();
        const int bought = rowNamed(table, "1 cup milk");
        QVERIFY(bought > 0);
        QVERIFY(table.item(bought)->font().strikeOut());
        QCOMPARE(table.item(bought)->checkState(), Qt::Checked);
        QVERIFY(pane.list().rowAt(static_cast<std::size_t>(bought))->purchased());
        QVERIFY(!table.item(rowNamed(table, "2 apples"))->font().strikeOut());
    }

    // A rebuild of the list touches only the rows that changed: the others keep their items,
    // and the selection and the current row stay.
    void checkingARowLeavesTheOtherRowsAndTheSelectionAlone() {
        RunningApplication running("rows-kept");
        QVERIFY(running.launched);
        for (const char* name : {"1 cup milk", "2 apples", "1 loaf bread", "cheddar cheese"}) {
            running.context().insert<GroceryListItem>()->setNameAndUpdateAisle(name);
        }
        QVERIFY(running.save());
        auto& pane = running.window().groceriesPane();
        running.app->settings().setBoolean(kGroceryListAislesKey, true);
        pane.list().settingsDidChange();
        auto& table = *pane.table();
        QCOMPARE(table.count(), 7);
        const int apples = rowNamed(table, "2 apples");
        table.setCurrentRow(apples);
        QCOMPARE(pane.list().selectedRows(), std::vector<std::size_t>{std::size_t(apples)});
        std::vector<QListWidgetItem*> before;
        for (int row = 0; row < table.count(); ++row) {
            before.push_back(table.item(row));
        }
        const QStringList shownBefore = texts(table);
        QSignalSpy resets(table.model(), &QAbstractItemModel::modelReset);
        QSignalSpy removed(table.model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(table.model(), &QAbstractItemModel::rowsInserted);

        const int milk = rowNamed(table, "1 cup milk");
        table.item(milk)->setCheckState(Qt::Checked);
        running.save();
        QVERIFY(pane.list().rowAt(std::size_t(milk))->purchased());
        for (int row = 0; row < table.count(); ++row) {
            QCOMPARE(table.item(row), before[std::size_t(row)]);
        }
        QVERIFY(table.item(milk)->font().strikeOut());
        QCOMPARE(table.item(milk)->checkState(), Qt::Checked);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(removed.count() + inserted.count(), 0);
        QCOMPARE(table.currentRow(), apples);
        QCOMPARE(table.selectedItems(), QList<QListWidgetItem*>{before[std::size_t(apples)]});

        // Unchecked again: the strike and the grey go, and nothing else moves.
        table.item(milk)->setCheckState(Qt::Unchecked);
        running.save();
        QVERIFY(!table.item(milk)->font().strikeOut());
        QVERIFY(!table.item(milk)->data(Qt::ForegroundRole).isValid());
        QCOMPARE(table.item(milk), before[std::size_t(milk)]);

        // "To Buy" after a check: the bought row goes, its section stays for the cheese, and
        // the rows around it are the same items.
        table.item(milk)->setCheckState(Qt::Checked);
        running.save();
        pane.list().segmentChanged(static_cast<int>(GroceryFilter::ToBuy));
        QCOMPARE(table.count(), 6);
        QCOMPARE(rowNamed(table, "1 cup milk"), -1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(table.item(rowNamed(table, "cheddar cheese")),
                 before[std::size_t(rowNamed(shownBefore, "cheddar cheese"))]);
        QCOMPARE(table.item(rowNamed(table, "2 apples")), before[std::size_t(apples)]);
        QCOMPARE(table.selectedItems(), QList<QListWidgetItem*>{before[std::size_t(apples)]});
        for (int row = 0; row < table.count(); ++row) {
            QCOMPARE(table.item(row)->font().bold(),
                     pane.list().rowAt(std::size_t(row)) == nullptr);
        }

        // Everything shown again: a section title reused as a row would keep its bold.
        pane.list().segmentChanged(static_cast<int>(GroceryFilter::Bought));
        QCOMPARE(texts(table), (QStringList{"Dairy", "1 cup milk"}));
        QVERIFY(!table.item(1)->font().bold());
        QVERIFY(table.item(1)->font().strikeOut());
        QVERIFY(table.item(1)->flags().testFlag(Qt::ItemIsUserCheckable));
        QVERIFY(!table.item(0)->data(Qt::CheckStateRole).isValid());
    }

    void checkingAConsolidatedRowBuysEveryItemItWraps() {
        RunningApplication running("consolidated");
        QVERIFY(running.launched);
        for (const char* recipe : {"Pancakes", "Porridge"}) {
            auto item = running.context().insert<GroceryListItem>();
            item->setNameAndUpdateAisle("1 cup milk");
            item->setRecipeName(std::string(recipe));
        }
        QVERIFY(running.save());
        auto& pane = running.window().groceriesPane();
        running.app->settings().setBoolean(kGroceryListAislesKey, true);
        running.app->settings().setBoolean(kGroceryListConsolidationKey, true);
        pane.list().settingsDidChange();
        auto& table = *pane.table();
        QCOMPARE(texts(table), (QStringList{"Dairy", "2 cups milk"}));

        table.item(1)->setCheckState(Qt::Checked);
        running.save();
        const auto row = pane.list().rowAt(1);
        QVERIFY(row != nullptr);
        QCOMPARE(row->items().size(), std::size_t{2});
        for (const auto& item : row->items()) {
            QVERIFY(item->purchased().value_or(false));
        }
        QVERIFY(table.item(1)->font().strikeOut());

        // Each recipe is its own entry of the sidebar, after the two presets.
        QCOMPARE(texts(*pane.sidebarList()), (QStringList{"Recipes", "Entire Grocery List",
                                                          "My Items", "Pancakes", "Porridge"}));
    }
    void aRecipeDraggedFromTheRecipesPaneBecomesTheDaysNextMeal() {
        RunningApplication running("recipes-pane-drag");
        QVERIFY(running.launched);
        running.addRecipe("Gumbo");
        running.addRecipe("Jambalaya");
        QVERIFY(running.save());
        auto& pane = running.window().mealsPane();
        pane.startChooser();  // as showing the pane does
        // Wednesday already has a meal from the pane's own chooser.
        QVERIFY(pane.drop(*dragOfList(*pane.recipeList(), 0), 3));
        running.save();

        auto& model = running.pane().model();
        std::unique_ptr<QMimeData> drag(model.mimeData({model.index(1, 0)}));
        QVERIFY(drag->hasFormat(kRecipeRowsMimeType));
        QVERIFY(pane.day(3).model()->mimeTypes().contains(kRecipeRowsMimeType));
        QVERIFY(pane.canDrop(*drag, 3));
        QVERIFY(pane.drop(*drag, 3));
        running.save();
        const auto meals = pane.day(3).controller().meals();
        QCOMPARE(meals.size(), std::size_t{2});
        QCOMPARE(*meals[1]->recipe()->name(), std::string("Jambalaya"));
        QVERIFY(pane.week().calendar().isSameDay(*meals[1]->date(), pane.week().week()[3]));
        QVERIFY(meals[1]->integer("orderFlag").value_or(0) >
                meals[0]->integer("orderFlag").value_or(0));
        QCOMPARE(meals[1]->status(), std::string(kStatusModified));

        // Rows the table does not have carry no recipe, and nothing is dropped.
        QMimeData stale;
        stale.setData(kRecipeRowsMimeType, "7,x");
        QVERIFY(!pane.canDrop(stale, 2));
        QVERIFY(!pane.drop(stale, 2));
        QCOMPARE(texts(pane.day(2)), QStringList{"No meals scheduled."});
    }

    void aRowDroppedAboveARowOfDairyTakesThatAisle() {
        RunningApplication running("aisle-drag");
        QVERIFY(running.launched);
        for (const char* name : {"1 cup milk", "2 apples", "1 loaf bread"}) {
            running.context().insert<GroceryListItem>()->setNameAndUpdateAisle(name);
        }
        QVERIFY(running.save());
        running.app->settings().setBoolean(kGroceryListAislesKey, true);
        running.window().tabs()->setCurrentIndex(MainWindow::Groceries);
        auto& pane = running.window().groceriesPane();
        pane.list().settingsDidChange();
        QCoreApplication::processEvents();
        auto& table = *pane.table();
        QCOMPARE(texts(table), (QStringList{"Breads and Cereals", "1 loaf bread", "Dairy",
                                            "1 cup milk", "Produce", "2 apples"}));

        // Into the top half of the milk row: above it, so into its section.
        auto drop = [&](const QString& dragged, const QString& onto) {
            std::unique_ptr<QMimeData> drag(
                table.model()->mimeData({table.model()->index(rowNamed(table, dragged), 0)}));
            QVERIFY(drag != nullptr);
            const QRect target = table.visualItemRect(table.item(rowNamed(table, onto)));
            QVERIFY(pane.dropRows(*drag, QPoint(target.center().x(), target.top() + 2)));
            running.save();
        };
        drop("2 apples", "1 cup milk");
        QCOMPARE(pane.list().rowAt(static_cast<std::size_t>(rowNamed(table, "2 apples")))->aisle(),
                 std::string("Dairy"));
        QCOMPARE(texts(table), (QStringList{"Breads and Cereals", "1 loaf bread", "Dairy",
                                            "2 apples", "1 cup milk"}));

        // Just above a section's title: the section before it.
        drop("1 loaf bread", "Dairy");
        QCOMPARE(
            pane.list().rowAt(static_cast<std::size_t>(rowNamed(table, "1 loaf bread")))->aisle(),
            std::string("Breads and Cereals"));
    }

    void theSelectedRowStaysSelectedWhenASyncChangesAnother() {
        RunningApplication running("selection-kept");
        QVERIFY(running.launched);
        for (const char* name : {"1 cup milk", "2 apples", "1 loaf bread"}) {
            running.context().insert<GroceryListItem>()->setNameAndUpdateAisle(name);
        }
        QVERIFY(running.save());
        auto& pane = running.window().groceriesPane();
        auto& table = *pane.table();
        table.item(rowNamed(table, "2 apples"))->setSelected(true);

        // A sync renames the milk on its own thread; its save merges into the list.
        std::atomic<bool> done{false};
        std::thread sync([&] {
            auto context = running.app->library().newBackgroundContext();
            auto items = context->fetch<GroceryListItem>(
                Predicate::fromTrustedFormat("name == %@", {Value(std::string("1 cup milk"))}));
            if (items && items->size() == 1) {
                items->front()->setName(std::string("2 cups milk"));
                (void)context->save();
            }
            done = true;
        });
        QTRY_VERIFY(done.load());
        sync.join();
        QTRY_VERIFY(rowNamed(table, "2 cups milk") >= 0);
        QStringList selected;
        for (auto* item : table.selectedItems()) {
            selected << item->text();
        }
        QCOMPARE(selected, QStringList{"2 apples"});
        QCOMPARE(pane.list().selectedRows(),
                 std::vector<std::size_t>{static_cast<std::size_t>(rowNamed(table, "2 apples"))});
    }

    void theGroceriesMenuFollowsTheCurrentRow() {
        RunningApplication running("groceries-menu");
        QVERIFY(running.launched);
        auto item = running.context().insert<GroceryListItem>();
        item->setNameAndUpdateAisle("1 cup milk");
        item->setPurchased(true);
        QVERIFY(running.save());
        auto& pane = running.window().groceriesPane();
        QMenu* menu = running.window().findChild<QMenu*>("groceriesMenu");
        QVERIFY(menu != nullptr);
        auto states = [&] {
            emit menu->aboutToShow();
            QStringList enabled;
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator() && action->isEnabled()) {
                    enabled << action->text() + (action->isChecked() ? " ✓" : "");
                }
            }
            return enabled;
        };
        QCOMPARE(states(), (QStringList{"New Item", "Clear Grocery List…"}));
        auto& table = *pane.table();
        const int row = rowNamed(table, "1 cup milk");
        table.setCurrentRow(row);
        QCOMPARE(states(), (QStringList{"New Item", "Edit", "Delete", "Purchased ✓", "Aisle",
                                        "Clear Grocery List…"}));
        QAction* purchased = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == "Purchased") {
                purchased = action;
            }
        }
        purchased->trigger();
        running.save();
        QVERIFY(!pane.list()
                     .rowAt(static_cast<std::size_t>(rowNamed(table, "1 cup milk")))
                     ->purchased());
    }
};

MIRAVEL_DESKTOP_TEST_MAIN(PlannerPanesTest)
#include "PlannerPanesTest.moc"
