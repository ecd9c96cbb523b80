// The documentation's screenshots and their sample photos; run by scripts/screenshots.sh.
//   miravel-screenshots photos FOLDER COUNT   writes COUNT made-up food photos as JPEGs
//   miravel-screenshots shoot LIBRARY FOLDER  starts the program on LIBRARY and saves PNGs
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QTableView>
#include <QTimer>
#include <iostream>

#include "desktop/DesktopApplication.h"
#include "desktop/EditRecipeDialog.h"
#include "desktop/GroceriesPane.h"
#include "desktop/MainWindow.h"
#include "desktop/MealsPane.h"
#include "desktop/MigrationWindow.h"
#include "desktop/QtText.h"
#include "desktop/RecipeTableModel.h"
#include "desktop/RecipeView.h"
#include "desktop/RecipeWindow.h"
#include "desktop/RecipesPane.h"
#include "desktop/SyncButton.h"
#include "grocery/ChooseIngredientsController.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Meal.h"
#include "model/MemoryKeychain.h"
#include "model/MigrationController.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"

using namespace miravel;
using namespace miravel::desktop;

namespace {

// A plate seen from above on a coloured cloth, with a few pieces of food on it.
void writePhotos(const QString& folder, int count) {
    QDir().mkpath(folder);
    QRandomGenerator random(7);
    for (int i = 0; i < count; ++i) {
        QImage image(640, 480, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor cloth =
            QColor::fromHsv(random.bounded(360), 90 + random.bounded(80), 150 + random.bounded(70));
        painter.fillRect(image.rect(), cloth);
        painter.setPen(QPen(cloth.lighter(125), 18));
        for (int x = -480; x < 640; x += 70) {
            painter.drawLine(x, 0, x + 480, 480);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 60));
        painter.drawEllipse(QPointF(330, 250), 205, 205);
        painter.setBrush(QColor(250, 248, 242));
        painter.drawEllipse(QPointF(320, 240), 200, 200);
        painter.setBrush(QColor(235, 232, 224));
        painter.drawEllipse(QPointF(320, 240), 150, 150);
        const int food = random.bounded(360);
        for (int piece = 0; piece < 9 + random.bounded(8); ++piece) {
            QColor colour = QColor::fromHsv((food + random.bounded(60)) % 360,
                                            140 + random.bounded(100), 120 + random.bounded(120));
            painter.setBrush(colour);
            const double angle = random.bounded(6.283);
            const double distance = random.bounded(95.0);
            painter.drawEllipse(
                QPointF(320 + distance * std::cos(angle), 240 + distance * std::sin(angle)),
                18 + random.bounded(26), 14 + random.bounded(22));
        }
        painter.setBrush(QColor(60, 140, 60));
        for (int leaf = 0; leaf < 4; ++leaf) {
            painter.drawEllipse(QPointF(260 + random.bounded(120), 180 + random.bounded(120)), 9,
                                5);
        }
        painter.end();
        image.save(folder + QString("/%1.jpg").arg(i + 1, 2, 10, QChar('0')), "JPEG", 88);
    }
}

void settle(int milliseconds = 300) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* widget, const QString& file) {
    settle();
    bool saved = widget->grab().save(file);
    std::cout << (saved ? "wrote " : "could not write ") << file.toStdString() << "\n";
    return saved;
}

int shoot(const QString& library, const QString& folder) {
    QDir().mkpath(folder);
    UserSettings settings(fspath(library) / "Screenshots.json",
                          &NotificationCenter::defaultCenter());
    settings.setBoolean(kWelcomeDisplayedKey, true);
    MemoryKeychain keychain;
    DesktopApplication desktop(fspath(library), settings, keychain,
                               NotificationCenter::defaultCenter(), MainQueue::shared());
    if (!desktop.launch() || desktop.mainWindow() == nullptr) {
        return 1;
    }
    MainWindow& window = *desktop.mainWindow();
    window.resize(1200, 760);
    RecipesPane& pane = window.recipesPane();
    QTableView* table = pane.table();
    table->selectRow(2);
    bool ok = save(&window, folder + "/main-window.png");

    std::shared_ptr<Recipe> shown;
    std::shared_ptr<Recipe> other;
    for (int row = 0; row < pane.model().rowCount(); ++row) {
        auto recipe = pane.model().recipeAt(row);
        if (recipe->photo() && recipe->ingredients()) {
            (shown ? other : shown) = recipe;
            if (other) {
                break;
            }
        }
    }
    if (!shown || !other) {
        std::cerr << "the library needs two recipes with photos\n";
        return 1;
    }
    pane.openRecipe(shown);
    ok = save(&window, folder + "/recipe-view.png") && ok;

    desktop.editRecipe(shown, &window);
    if (auto* sheet = window.findChild<EditRecipeDialog*>()) {
        ok = save(sheet, folder + "/editor.png") && ok;
        sheet->pressCancel();
    }
    desktop.openRecipeWindow(other);
    if (auto* recipeWindow = desktop.recipeWindowFor(other.get())) {
        ok = save(recipeWindow, folder + "/recipe-window.png") && ok;
        recipeWindow->close();
    }

    // A planned week: most days one or two meals, one day left empty.
    MealsPane& meals = window.mealsPane();
    const auto& week = meals.week().week();
    const std::int64_t types[] = {Meal::Breakfast, Meal::Dinner, Meal::Lunch};
    std::vector<std::shared_ptr<Recipe>> planned;
    int next = 0;
    for (std::size_t day = 0; day < week.size(); ++day) {
        if (day == 4) {
            continue;
        }
        for (int count = 0; count < (day % 2 == 0 ? 2 : 1); ++count) {
            auto recipe = pane.model().recipeAt(next++ % pane.model().rowCount());
            if (createMealWithType(desktop.context(), types[(day + count) % 3], week[day],
                                   recipe)) {
                planned.push_back(recipe);
            }
        }
    }
    MainQueue::shared().processPending();
    QCoreApplication::processEvents();
    window.tabs()->setCurrentIndex(MainWindow::Meals);
    ok = save(&window, folder + "/meals.png") && ok;

    // Three of the week's recipes on the grocery list by aisle, some of it bought.
    settings.setBoolean(kGroceryListAislesKey, true);
    planned.resize(std::min<std::size_t>(planned.size(), 3));
    ChooseIngredientsController chooser(desktop.context(), planned, settings);
    ok = static_cast<bool>(chooser.donePressed()) && ok;
    MainQueue::shared().processPending();
    GroceriesPane& groceries = window.groceriesPane();
    groceries.list().settingsDidChange();
    for (std::size_t index = 0, rows = 0; index < groceries.list().items().size(); ++index) {
        if (groceries.list().rowAt(index) && rows++ % 3 == 1) {
            (void)groceries.list().groceryListTableCellCheckboxToggled(index);
        }
    }
    MainQueue::shared().processPending();
    QCoreApplication::processEvents();
    window.tabs()->setCurrentIndex(MainWindow::Groceries);
    ok = save(&window, folder + "/groceries.png") && ok;

    // The progress window of a conversion that failed, and the sync button while a run is on.
    MigrationController conversion(MainQueue::shared(), {});
    conversion.showMigrationState();
    conversion.updateProgressBar(0.42);
    MigrationWindow progress(conversion);
    progress.show();
    ok = save(&progress, folder + "/progress-window.png") && ok;
    conversion.showErrorMessage("Migration error. Source model could not be located.");
    progress.refresh();
    ok = save(&progress, folder + "/progress-window-error.png") && ok;
    progress.hide();
    NotificationCenter::defaultCenter().post(kSyncStartedNotification);
    QCoreApplication::processEvents();
    ok = save(window.syncButton()->parentWidget(), folder + "/toolbar-syncing.png") && ok;
    NotificationCenter::defaultCenter().post(kSyncFinishedNotification);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    MainQueue::shared().adoptCurrentThreadAsMain();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == "photos") {
        writePhotos(arguments[2], arguments[3].toInt());
        return 0;
    }
    if (arguments.size() == 4 && arguments[1] == "shoot") {
        return shoot(arguments[2], arguments[3]);
    }
    std::cerr << "usage: miravel-screenshots photos FOLDER COUNT | shoot LIBRARY FOLDER\n";
    return 2;
}
