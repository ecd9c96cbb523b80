// The documentation's screenshots and their sample photos; run by scripts/screenshots.sh.
//   miravel-screenshots photos FOLDER COUNT   writes COUNT made-up food photos as JPEGs
//   miravel-screenshots shoot LIBRARY FOLDER [PAGE]  starts the program on LIBRARY and saves
//                                              PNGs; with PAGE, the Browser pane clipping it
//   miravel-screenshots settings LIBRARY FOLDER  the welcome assistant and the settings panes
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTimer>
#include <QWebEngineView>
#include <iostream>

#include "desktop/BrowserPane.h"
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
#include "desktop/SettingsWindow.h"
#include "desktop/SyncButton.h"
#include "desktop/WelcomeWindow.h"
#include "grocery/ChooseIngredientsController.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/DateText.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Meal.h"
#include "model/MemoryKeychain.h"
#include "model/MigrationController.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "planner/MealCreation.h"
#include "sync/SettingsController.h"

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

// A recipe page loaded from a file, a name and the ingredients captured, a photo in the well.
bool shootBrowser(MainWindow& window, const QString& page, const QString& photo,
                  const QString& folder) {
    window.showBrowserPane();
    BrowserPane* pane = window.browserPane();
    if (pane == nullptr) {
        std::cerr << "the web engine does not start here\n";
        return false;
    }
    settle(300);
    bool arrived = false;
    auto waiting =
        QObject::connect(pane, &BrowserPane::pageLoaded, pane, [&arrived, pane, page](bool) {
            arrived = arrived || pane->view()->url() == QUrl::fromLocalFile(page);
        });
    pane->load(ss(QUrl::fromLocalFile(page).toString()));
    for (int waited = 0; !arrived && waited < 30000; waited += 100) {
        settle(100);
    }
    QObject::disconnect(waiting);
    settle(1500);
    BrowserController& browser = pane->controller();
    auto select = [pane](const QString& script) {
        bool done = false;
        pane->view()->page()->runJavaScript(script, [&done](const QVariant&) { done = true; });
        while (!done) {
            settle(50);
        }
    };
    select(
        "(function(){var e=document.querySelector('h1');var r=document.createRange();"
        "r.selectNodeContents(e);var s=getSelection();s.removeAllRanges();s.addRange(r);"
        "e.scrollIntoView();})()");
    pane->fieldButton("name")->click();
    settle(500);
    select(
        "(function(){var e=document.querySelector('.wprm-recipe-ingredients')||"
        "document.querySelector('[class*=ingredients] ul')||document.querySelector('ul');"
        "var r=document.createRange();r.selectNodeContents(e);var s=getSelection();"
        "s.removeAllRanges();s.addRange(r);e.scrollIntoView({block:'center'});})()");
    pane->fieldButton("ingredients")->click();
    settle(300);
    QFile file(photo);
    if (file.open(QIODevice::ReadOnly)) {
        pane->photoWell()->take(file.readAll());
    }
    if (browser.field("name").empty() || browser.field("ingredients").empty()) {
        std::cerr << "nothing was captured from " << page.toStdString() << "\n";
    }
    return save(&window, folder + "/browser.png");
}

int shoot(const QString& library, const QString& folder, const QString& page) {
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
    if (!page.isEmpty()) {
        ok = shootBrowser(window, page, qpath(*shown->photoPath()), folder) && ok;
    }
    return ok ? 0 : 1;
}

// A first start on a new library: the welcome assistant's first two pages; then the settings
// window's panes, the Cloud Sync pane signed out and, with an account and a finished sync,
// signed in.
int shootSettings(const QString& library, const QString& folder) {
    QDir().mkpath(folder);
    UserSettings settings(fspath(library) / "Screenshots.json",
                          &NotificationCenter::defaultCenter());
    MemoryKeychain keychain;
    DesktopApplication desktop(fspath(library), settings, keychain,
                               NotificationCenter::defaultCenter(), MainQueue::shared());
    if (!desktop.launch() || desktop.welcomeWindow() == nullptr) {
        std::cerr << "the welcome window did not come up\n";
        return 1;
    }
    WelcomeWindow& welcome = *desktop.welcomeWindow();
    bool ok = save(&welcome, folder + "/welcome.png");
    welcome.nextButton()->click();
    ok = save(&welcome, folder + "/welcome-cloud-sync.png") && ok;
    welcome.close();
    QCoreApplication::processEvents();

    SettingsWindow& window = desktop.showSettingsWindow(SettingsController::General);
    ok = save(&window, folder + "/settings-general.png") && ok;
    window.showPane(SettingsController::GroceryList);
    ok = save(&window, folder + "/settings-grocery-list.png") && ok;
    window.showPane(SettingsController::CloudSync);
    ok = save(&window, folder + "/settings-cloud-sync.png") && ok;

    // Signed in to a server of one's own, synced a little while ago.
    settings.setString(kServiceBaseUrlKey, "https://recipes.example.org");
    ok = static_cast<bool>(desktop.syncController().completeLogin("cook@example.org", "secret1")) &&
         ok;
    settings.setString(kLastSyncedDateKey, formatDateText(currentMoment()));
    desktop.syncController().cancelSyncTimer();
    window.close();
    delete &window;
    SettingsWindow& signedIn = desktop.showSettingsWindow(SettingsController::CloudSync);
    ok = save(&signedIn, folder + "/settings-cloud-sync-signed-in.png") && ok;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    MainQueue::shared().adoptCurrentThreadAsMain();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == "photos") {
        writePhotos(arguments[2], arguments[3].toInt());
        return 0;
    }
    if ((arguments.size() == 4 || arguments.size() == 5) && arguments[1] == "shoot") {
        return shoot(arguments[2], arguments[3], arguments.value(4));
    }
    if (arguments.size() == 4 && arguments[1] == "settings") {
        return shootSettings(arguments[2], arguments[3]);
    }
    std::cerr << "usage: miravel-screenshots photos FOLDER COUNT | shoot LIBRARY FOLDER [PAGE] | "
                 "settings LIBRARY FOLDER\n";
    return 2;
}
