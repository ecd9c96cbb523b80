#include <QAbstractSpinBox>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>
#include <fstream>

#include <sqlite3.h>

#include "desktop/EditCommands.h"
#include "desktop/FileFlows.h"
#include "desktop/MigrationWindow.h"
#include "desktop/SyncButton.h"
#include "import/MiravelExporter.h"
#include "lib/ApplicationIdentifier.h"
#include "model/MigrationController.h"
#include "support/DesktopTestSupport.h"
#include "sync/SyncController.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

namespace {

QAction* editAction(MainWindow& window, const char* name) {
    return window.findChild<QAction*>(name);
}

QMenu* menuTitled(MainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() != nullptr && action->text().remove('&') == title) {
            return action->menu();
        }
    }
    return nullptr;
}

// What the Edit menu would offer now: the enabled states as the menu opens.
QStringList enabledEditCommands(MainWindow& window) {
    QMenu* edit = menuTitled(window, "Edit");
    emit edit->aboutToShow();
    QStringList enabled;
    for (const char* name : {"editUndo", "editRedo", "editCut", "editCopy", "editPaste",
                             "editDelete", "editSelectAll"}) {
        if (editAction(window, name)->isEnabled()) {
            enabled << name;
        }
    }
    emit edit->aboutToHide();
    return enabled;
}

bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void theEditMenuWorksOnTheFocusedField() {
        RunningApplication running("edit-menu");
        QVERIFY(running.launched);
        MainWindow& window = running.window();
        QVERIFY(activate(window));
        QLineEdit* search = running.pane().searchField();
        search->setFocus();
        QCOMPARE(QApplication::focusWidget(), search);
        QApplication::clipboard()->clear();
        // An empty field: nothing to cut, copy, select or undo.
        QCOMPARE(enabledEditCommands(window), QStringList{});

        QTest::keyClicks(search, "butter");
        QVERIFY(enabledEditCommands(window).contains("editSelectAll"));
        QVERIFY(!enabledEditCommands(window).contains("editCut"));
        editAction(window, "editSelectAll")->trigger();
        QCOMPARE(search->selectedText(), QString("butter"));
        QCOMPARE(enabledEditCommands(window),
                 (QStringList{"editUndo", "editCut", "editCopy", "editDelete", "editSelectAll"}));
        editAction(window, "editCut")->trigger();
        QCOMPARE(search->text(), QString());
        QCOMPARE(QApplication::clipboard()->text(), QString("butter"));
        editAction(window, "editPaste")->trigger();
        editAction(window, "editPaste")->trigger();
        QCOMPARE(search->text(), QString("butterbutter"));
        editAction(window, "editUndo")->trigger();
        QCOMPARE(search->text(), QString("butter"));
        editAction(window, "editRedo")->trigger();
        QCOMPARE(search->text(), QString("butterbutter"));
        editAction(window, "editSelectAll")->trigger();
        editAction(window, "editDelete")->trigger();
        QCOMPARE(search->text(), QString());
        // Closed, the menu's items stay enabled so that their shortcuts reach the field.
        QVERIFY(editAction(window, "editCut")->isEnabled());
    }

    void aPasswordIsNeverCopiedOutOfItsField() {
        QLineEdit password;
        password.setEchoMode(QLineEdit::Password);
        password.setText("secret1");
        password.selectAll();
        QVERIFY(!canRunEditCommand(&password, EditCommand::Copy));
        QVERIFY(!canRunEditCommand(&password, EditCommand::Cut));
        QVERIFY(canRunEditCommand(&password, EditCommand::Delete));
        QLineEdit readOnly("fixed");
        readOnly.setReadOnly(true);
        readOnly.selectAll();
        QVERIFY(canRunEditCommand(&readOnly, EditCommand::Copy));
        QVERIFY(!canRunEditCommand(&readOnly, EditCommand::Cut));
        QVERIFY(!canRunEditCommand(&readOnly, EditCommand::Paste));
    }

    void deleteInTheEditMenuAsksAboutTheSelectedRecipes() {
        RunningApplication running("edit-delete");
        QVERIFY(running.launched);
        running.addRecipe("Borscht");
        running.addRecipe("Goulash");
        QVERIFY(running.save());
        MainWindow& window = running.window();
        QVERIFY(activate(window));
        QTableView* table = running.pane().table();
        table->setFocus();
        QVERIFY2(!enabledEditCommands(window).contains("editDelete"), "nothing selected");
        table->selectAll();
        QVERIFY(enabledEditCommands(window).contains("editDelete"));
        AlertLog alerts;
        alerts.answer = 1;  // Cancel
        editAction(window, "editDelete")->trigger();
        QCOMPARE(alerts.texts, QStringList{"Are you sure you want to delete these recipes?"});
        QCOMPARE(running.shownNames(), (QStringList{"Borscht", "Goulash"}));
        // Select All on the table selects its rows.
        table->clearSelection();
        editAction(window, "editSelectAll")->trigger();
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);
    }

    void aRecipeFileDroppedOnTheWindowIsImported() {
        RunningApplication running("drop-file");
        QVERIFY(running.launched);
        auto stew = running.addRecipe("Bean stew", "2 cups beans");
        QVERIFY(running.save());
        const auto file = running.folder() / "Bean stew.miravelrecipe";
        QVERIFY(MiravelExporter::exportRecipeFile(*stew, file));
        const auto notes = running.folder() / "notes.txt";
        std::ofstream(notes) << "not a recipe";

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(notes.string())),
                      QUrl::fromLocalFile(QString::fromStdString(file.string())),
                      QUrl("https://example.org/soup.miravelrecipe")});
        const auto paths = MainWindow::importablePaths(data);
        QCOMPARE(paths.size(), std::size_t{1});
        QCOMPARE(paths[0], file);

        AlertLog alerts;  // "Import", then the closing alert
        QSignalSpy finished(&running.window().fileFlows(), &FileFlows::finished);
        QVERIFY(running.window().acceptDrops());
        QVERIFY(running.window().dropFiles(data));
        QVERIFY(finished.wait(20000));
        QCOMPARE(alerts.texts.size(), 2);
        QCOMPARE(alerts.texts[0], QString("Import Recipes"));
        QCOMPARE(running.shownNames(), (QStringList{"Bean stew", "Bean stew"}));
    }

    void everyWidgetWithoutVisibleTextHasAnAccessibleName() {
        RunningApplication running("accessible");
        QVERIFY(running.launched);
        running.addRecipe("Tortilla");
        QVERIFY(running.save());
        QStringList unnamed;
        for (QWidget* widget : running.window().findChildren<QWidget*>()) {
            // Qt's own parts of a widget (scroll bars, headers, a combo box's field, the tab
            // bar's arrows) are named through the widget they belong to.
            QWidget* parent = widget->parentWidget();
            if (widget->objectName().startsWith("qt_") || qobject_cast<QScrollBar*>(widget) ||
                qobject_cast<QHeaderView*>(widget) || qobject_cast<QTabBar*>(parent) ||
                qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent) ||
                qobject_cast<QLineEdit*>(parent) || qobject_cast<QTableView*>(parent) ||
                qobject_cast<QMenu*>(widget) || qobject_cast<QMenu*>(parent)) {
                continue;
            }
            auto* button = qobject_cast<QAbstractButton*>(widget);
            const bool textless =
                (button != nullptr && button->text().isEmpty()) ||
                qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                qobject_cast<QAbstractItemView*>(widget) || qobject_cast<QTextEdit*>(widget) ||
                qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QProgressBar*>(widget) ||
                qobject_cast<QTabWidget*>(widget);
            if (textless && widget->accessibleName().isEmpty()) {
                unnamed << QString::fromLatin1(widget->metaObject()->className()) + " " +
                               widget->objectName();
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    }

    void theSyncButtonFollowsTheRunsAndAManualFailureAlerts() {
        RunningApplication running("sync-button");
        QVERIFY(running.launched);
        SyncButton* sync = running.window().syncButton();
        QVERIFY(sync != nullptr);
        QCOMPARE(sync->imageName(), QString("sync_icon"));
        QVERIFY(!sync->button()->accessibleName().isEmpty());

        // Signed out: the Cloud Sync settings are asked for, no run starts.
        QSignalSpy settings(running.app.get(), &DesktopApplication::cloudSyncSettingsRequested);
        QTest::mouseClick(sync->button(), Qt::LeftButton);
        QCOMPARE(settings.count(), 1);
        QVERIFY(!running.app->syncController().isSyncing());

        // Signed in to an address where nothing answers: the run fails at once.
        running.settings().setString(kAccountEmailKey, "cook@example.org");
        running.settings().setString(kServiceBaseUrlKey, "http://127.0.0.1:1");
        QVERIFY(running.keychain().addGenericKeychainItemForService(kApplicationIdentifier,
                                                                    "cook@example.org", "secret1"));
        running.app->syncController().checkIfLoggedIn();
        QVERIFY(running.app->syncController().isLoggedIn());
        AlertLog alerts;
        QTest::mousePress(sync->button(), Qt::LeftButton);
        QCOMPARE(sync->imageName(), QString("sync_icon_selected"));
        QTest::mouseRelease(sync->button(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(alerts.texts, QStringList{"Sync Error"}, 20000);
        QVERIFY(!sync->statusLabel()->isVisibleTo(sync));
        QVERIFY(sync->button()->isVisibleTo(sync));
        QCOMPARE(sync->imageName(), QString("sync_error_icon"));
        QTest::mousePress(sync->button(), Qt::LeftButton);
        QCOMPARE(sync->imageName(), QString("sync_error_icon_selected"));
        QTest::mouseRelease(sync->button(), Qt::LeftButton);
        QTRY_VERIFY(!running.app->syncController().isSyncing());
        running.app->syncController().setIsLoggedIn(false);

        // While a run is in progress the button gives way to "Syncing...".
        NotificationCenter::defaultCenter().post(kSyncStartedNotification);
        QVERIFY(!sync->button()->isVisibleTo(sync));
        QVERIFY(sync->indicator()->isVisibleTo(sync));
        QCOMPARE(sync->statusLabel()->text(), QString("Syncing..."));
        running.settings().remove(kSyncErrorKey);
        NotificationCenter::defaultCenter().post(kSyncFinishedNotification);
        QVERIFY(sync->button()->isVisibleTo(sync));
        QVERIFY(!sync->indicator()->isVisibleTo(sync));
        QCOMPARE(sync->imageName(), QString("sync_icon"));
    }

    void theProgressWindowShowsEachModeAndHandsOverItsButtons() {
        std::vector<int> quits;
        std::vector<std::string> opened;
        MigrationWindow* window = nullptr;
        MigrationController controller(MainQueue::shared(),
                                       {[&](int status) { quits.push_back(status); },
                                        [&](const std::string& url) { opened.push_back(url); }},
                                       [&] {
                                           if (window != nullptr) {
                                               window->refresh();
                                           }
                                       });
        controller.showMigrationState();
        MigrationWindow shown(controller);
        window = &shown;
        shown.show();
        QCOMPARE(shown.windowTitle(), QString("Miravel Recipe Manager"));
        QCOMPARE(shown.progressText()->text(), QString("Upgrading database... please wait."));
        QVERIFY(!shown.quitButton()->isVisibleTo(&shown));

        controller.updateProgressBar(0.425);
        QCOMPARE(shown.progressBar()->maximum(), 100);
        QCOMPARE(shown.progressBar()->value(), 43);
        QCOMPARE(shown.progressText()->text(), QString("Upgrading database... 42% complete"));

        // Restoring: a bar with no end.
        controller.showBackupState();
        QCOMPARE(shown.progressText()->text(), QString("Restoring from backup... please wait."));
        QCOMPARE(shown.progressBar()->minimum(), 0);
        QCOMPARE(shown.progressBar()->maximum(), 0);
        controller.finishBackup();
        QCOMPARE(shown.progressText()->text(), QString("Restore from backup complete."));
        QVERIFY2(shown.progressBar()->maximum() > 0, "stopped");

        // The error: caution, no bar, and only reporting or quitting left.
        controller.showErrorMessage("Migration error. Source model could not be located.");
        QCOMPARE(shown.windowTitle(), QString("Error"));
        QCOMPARE(shown.progressText()->text(),
                 QString("Migration error. Source model could not be located."));
        QVERIFY(!shown.progressBar()->isVisibleTo(&shown));
        QVERIFY(shown.cautionImage()->isVisibleTo(&shown));
        QCOMPARE(shown.sendBugReportButton()->text(), QString("Send Bug Report"));
        QCOMPARE(shown.quitButton()->text(), QString("Quit"));
        QTest::mouseClick(shown.sendBugReportButton(), Qt::LeftButton);
        QCOMPARE(opened, std::vector<std::string>{MigrationController::kSupportAddress});
        QTest::mouseClick(shown.quitButton(), Qt::LeftButton);
        QCOMPARE(quits, std::vector<int>{0});
        // Escape does not take the window away.
        QTest::keyClick(&shown, Qt::Key_Escape);
        QVERIFY(shown.isVisible());
        window = nullptr;
    }

    void aStoreOfAnUnknownLayoutShowsTheErrorWithItsButtons() {
        const auto folder = privateHome() / "future";
        std::filesystem::remove_all(folder);
        {
            RunningApplication writer("future-writer");
            QVERIFY(writer.launched);
            writer.addRecipe("Flan");
            QVERIFY(writer.save());
            writer.app.reset();
            std::filesystem::copy(writer.folder() / "Library", folder,
                                  std::filesystem::copy_options::recursive);
        }
        // A later program's layout: a version this one has never heard of.
        QVERIFY(setUserVersion(folder / "Miravel.sqlite", 999));
        UserSettings settings(privateHome() / "future.json");
        settings.setBoolean(kAutomaticBackupsKey, false);
        MemoryKeychain keychain;
        DesktopApplication app(folder, settings, keychain, NotificationCenter::defaultCenter(),
                               MainQueue::shared());
        QVERIFY(app.launch());
        QTRY_VERIFY(app.migrationWindow() != nullptr &&
                    app.migrationWindow()->quitButton()->isVisibleTo(app.migrationWindow()));
        MigrationWindow& window = *app.migrationWindow();
        QCOMPARE(window.windowTitle(), QString("Error"));
        QVERIFY(window.progressText()->text().startsWith("Migration error."));
        QVERIFY(window.sendBugReportButton()->isVisibleTo(&window));
        QVERIFY(app.mainWindow() == nullptr);
        std::filesystem::remove_all(folder);
    }

private:
    static bool setUserVersion(const std::filesystem::path& store, int version) {
        sqlite3* db = nullptr;
        bool done = sqlite3_open(store.c_str(), &db) == SQLITE_OK;
        const std::string sql = "PRAGMA user_version = " + std::to_string(version) + ";";
        done = done && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return done;
    }
};

MIRAVEL_DESKTOP_TEST_MAIN(ShellTest)
#include "ShellTest.moc"
