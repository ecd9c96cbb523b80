#include <unistd.h>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextBrowser>
#include <fstream>
#include <thread>

#include "desktop/RecipeView.h"
#include "desktop/RecipeWindow.h"
#include "desktop/SingleInstance.h"
#include "import/MiravelExporter.h"
#include "lib/MainQueue.h"
#include "support/DesktopTestSupport.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

namespace {

RecipeWindow* windowTitled(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<RecipeWindow*>(widget);
        if (window != nullptr && window->isVisible() && window->windowTitle() == title) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTheMainWindowAndItsFourPanes() {
        RunningApplication running("start");
        QVERIFY(running.launched);
        QVERIFY(running.app->mainWindow() != nullptr);
        QVERIFY(running.window().isVisible());
        QCOMPARE(running.window().tabs()->count(), 4);
        QCOMPARE(running.window().tabs()->tabText(3), QString("Groceries"));
    }

    // The engine ends the whole process when asked to run as root with its sandbox: the tab
    // explains instead, and a source address opens outside.
    void asRootWithTheEnginesSandboxOnTheBrowserTabExplains() {
        if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
            qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox")) {
            QSKIP("only as root with the engine's sandbox on");
        }
        RunningApplication running("root-browser");
        QVERIFY(running.launched);
        running.window().showBrowserPane();
        QVERIFY(running.window().browserPane() == nullptr);
        auto* tab = running.window().tabs()->widget(MainWindow::Browser);
        auto* label = tab->findChild<QLabel*>();
        QVERIFY(label != nullptr);
        QVERIFY(label->text().contains("root"));
        QCOMPARE(tab->findChildren<QLabel*>().size(), qsizetype(1));
        QVERIFY(running.window().browserPane() == nullptr);
        QCOMPARE(tab->findChildren<QLabel*>().size(), qsizetype(1));
    }

    void theMainQueueRunsInsideTheEventLoop() {
        RunningApplication running("queue");
        bool ran = false;
        std::thread([&] { MainQueue::shared().post([&] { ran = true; }); }).join();
        QTRY_VERIFY(ran);
        bool later = false;
        MainQueue::shared().postAfter(std::chrono::milliseconds(20), [&] { later = true; });
        QTRY_VERIFY(later);
    }

    void aRecipeFileOpenedFromOutsideWhileRunningIsShown() {
        RunningApplication running("open");
        QVERIFY(running.launched);
        auto soup = running.addRecipe("Leek soup", "3 leeks\n1 l stock");
        QVERIFY(running.save());
        const auto file = running.folder() / "Leek soup.miravelrecipe";
        QVERIFY(MiravelExporter::exportRecipeFile(*soup, file));

        const QString name = "miravel-test-" + QString::number(QCoreApplication::applicationPid());
        SingleInstance server(name);
        QVERIFY(server.listen());
        QObject::connect(&server, &SingleInstance::filesReceived, running.app.get(),
                         &DesktopApplication::openFiles);
        SingleInstance second(name);
        QVERIFY(second.handToRunningInstance({QString::fromStdString(file.string())}));
        QTRY_VERIFY(windowTitled("Leek soup") != nullptr);
        RecipeWindow* window = windowTitled("Leek soup");
        QVERIFY(window->view().browser()->toPlainText().contains("3 leeks"));
        // The file became a recipe of its own beside the one it was written from.
        QCOMPARE(running.shownNames(), (QStringList{"Leek soup", "Leek soup"}));
    }

    void aFileThatIsNoRecipeGivesTheRecipeError() {
        RunningApplication running("bad file");
        QVERIFY(running.launched);
        const auto file = running.folder() / "broken.miravelrecipe";
        std::ofstream(file) << "not a recipe";
        AlertLog alerts;
        running.app->openFiles({QString::fromStdString(file.string())});
        QCOMPARE(alerts.texts, QStringList{"Recipe Error"});
    }

    void aFileNamedBeforeStartUpFinishedIsShownAfterIt() {
        // The start-up reads the file only once the library is open.
        auto folder = privateHome() / "early";
        std::filesystem::create_directories(folder);
        {
            RunningApplication writer("writer");
            auto cake = writer.addRecipe("Lemon cake", "2 lemons");
            QVERIFY(writer.save());
            QVERIFY(MiravelExporter::exportRecipeFile(*cake, folder / "cake.miravelrecipe"));
        }
        UserSettings settings(folder / "Settings.json");
        MemoryKeychain keychain;
        DesktopApplication app(folder / "Library", settings, keychain,
                               NotificationCenter::defaultCenter(), MainQueue::shared());
        app.openFiles({QString::fromStdString((folder / "cake.miravelrecipe").string())});
        QVERIFY(windowTitled("Lemon cake") == nullptr);
        QVERIFY(app.launch());
        QTRY_VERIFY(windowTitled("Lemon cake") != nullptr);
    }

    void theWindowMenuListsTheRecipeWindows() {
        RunningApplication running("windows");
        QVERIFY(running.launched);
        auto soup = running.addRecipe("Leek soup");
        QVERIFY(running.save());
        running.app->openRecipeWindow(soup);
        running.app->openRecipeWindow(soup);  // brought to the front, not opened twice
        QMenu* windowMenu = nullptr;
        for (QAction* action : running.window().menuBar()->actions()) {
            if (action->text() == "&Window") {
                windowMenu = action->menu();
            }
        }
        QVERIFY(windowMenu != nullptr);
        emit windowMenu->aboutToShow();
        QStringList titles;
        for (QAction* action : windowMenu->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles.count("Leek soup"), 1);
    }

    void quittingSavesWhatIsPending() {
        std::filesystem::path store;
        {
            RunningApplication running("quit");
            running.addRecipe("Unsaved stew");
            QVERIFY(running.context().hasChanges());
            QVERIFY(running.app->mayQuit());
            QVERIFY(!running.context().hasChanges());
        }
    }
};

MIRAVEL_DESKTOP_TEST_MAIN(ApplicationTest)
#include "ApplicationTest.moc"
