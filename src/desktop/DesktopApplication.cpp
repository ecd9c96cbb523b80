#include "desktop/DesktopApplication.h"

#include <QApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <utility>

#include "desktop/Alerts.h"
#include "desktop/BrowserPane.h"
#include "desktop/EditRecipeDialog.h"
#include "desktop/MainWindow.h"
#include "desktop/MigrationWindow.h"
#include "desktop/Notice.h"
#include "desktop/Printing.h"
#include "desktop/QtText.h"
#include "desktop/RecipeWindow.h"
#include "desktop/SettingsWindow.h"
#include "desktop/WelcomeWindow.h"
#include "import/RecipeFileOpening.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/MigrationController.h"
#include "model/MiravelAppDelegate.h"
#include "model/Recipe.h"
#include "store/StoreErrorCode.h"
#include "sync/MiravelService.h"
#include "sync/MiravelSyncService.h"
#include "sync/SyncController.h"

namespace miravel::desktop {

DesktopApplication::DesktopApplication(std::filesystem::path libraryFolder, UserSettings& settings,
                                       Keychain& keychain, NotificationCenter& center,
                                       MainQueue& queue)
    : m_settings(settings),
      m_keychain(keychain),
      m_queue(queue),
      m_center(center),
      m_timers(new QTimer(this)) {
    m_application =
        std::make_unique<MiravelAppDelegate>(std::move(libraryFolder), settings, keychain, *this,
                                             IngredientParser::sharedParser(), center, queue);
    m_service = std::make_unique<MiravelService>(settings, keychain, queue);
    m_sync = std::make_unique<SyncController>(m_application->library(), *m_service, keychain);
    // The sync button, signed out, opens the Cloud Sync pane instead.
    m_sync->setOpenCloudSyncPane([this] {
        emit cloudSyncSettingsRequested();
        showSettingsWindow(SettingsController::CloudSync);
    });
    // A sync started by hand that fails says so, over the main window.
    m_sync->syncService().setErrorPresenter([this](const std::string& description) {
        // A run that failed while the program ends leaves its alert unshown: there is no
        // window left to show it over, and a modal alert would hold up quitting.
        if (m_ending) {
            return;
        }
        presentAlert(m_mainWindow, {QMessageBox::Critical,
                                    qs(miravel::tr("Sync Error")),
                                    qs(description),
                                    {qs(miravel::tr("OK"))}});
    });
    m_printer = std::make_unique<QtPrintHandoff>([this]() -> QWidget* { return m_mainWindow; });
    m_mail = std::make_unique<QtMailHandoff>(std::make_shared<QtUrlOpener>(), settings);
    // Work posted from any thread wakes the event loop once; the timer runs what the queue
    // has scheduled for later (refreshes, delayed selections).
    m_queue.adoptCurrentThreadAsMain();
    m_queue.setWakeHandler([this] {
        if (!m_wakePending.exchange(true)) {
            QMetaObject::invokeMethod(this, &DesktopApplication::drainQueue, Qt::QueuedConnection);
        }
    });
    connect(m_timers, &QTimer::timeout, this, &DesktopApplication::drainQueue);
    m_timers->start(50);
}

DesktopApplication::~DesktopApplication() {
    m_ending = true;
    m_queue.setWakeHandler({});
    delete m_settingsWindow.data();
    delete m_welcomeWindow.data();
    closeMainWindow();
    delete m_migrationWindow.data();
    // A running sync ends (and its saves merge) before the library goes.
    m_sync.reset();
    m_queue.processPending();
}

void DesktopApplication::drainQueue() {
    m_wakePending = false;
    m_queue.processPending();
}

bool DesktopApplication::launch() {
    if (auto installed = IngredientParser::sharedParser().checkReferenceStore(); !installed) {
        presentError(installed.error());
        return false;
    }
    const bool converting = m_application->shouldMigrateDatabase();
    if (!converting && !m_application->persistentStoreCoordinator()) {
        return false;
    }
    m_application->applicationDidFinishLaunching();
    // The damage check reads the whole store (a third of a second for 50,000 recipes), so it
    // runs once the window is up. Nothing is written before it: the store checks itself
    // before its first write.
    if (!converting) {
        QTimer::singleShot(0, this, &DesktopApplication::checkStore);
        startSyncSchedule();
    }
    return true;
}

void DesktopApplication::startSyncSchedule() {
    if (m_syncScheduled || !m_application->initialized()) {
        return;
    }
    m_syncScheduled = true;
    m_service->setCredentials();
    m_sync->applicationDidStart();
}

SettingsWindow& DesktopApplication::showSettingsWindow(int pane) {
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(*this);
    }
    m_settingsWindow->showPane(pane);
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
    return *m_settingsWindow;
}

SettingsWindow* DesktopApplication::settingsWindow() const {
    return m_settingsWindow.data();
}

WelcomeWindow* DesktopApplication::welcomeWindow() const {
    return m_welcomeWindow.data();
}

void DesktopApplication::checkStore() {
    ManagedObjectContext* context = m_application->managedObjectContext();
    if (context == nullptr) {
        return;
    }
    if (auto sound = context->coordinator()->checkIntegrity(); !sound) {
        presentError(sound.error());
        quitApplication(EXIT_FAILURE);
        return;
    }
}

void DesktopApplication::openFiles(const QStringList& files) {
    for (const QString& file : files) {
        m_application->applicationOpenFile(fspath(file));
    }
}

bool DesktopApplication::mayQuit() {
    return m_application->applicationShouldTerminate() == MiravelAppDelegate::TerminateReply::Now;
}

MainWindow* DesktopApplication::mainWindow() const {
    return m_mainWindow.data();
}

RecipeWindow* DesktopApplication::recipeWindowFor(const Recipe* recipe) const {
    auto found = m_recipeWindows.find(recipe);
    return found == m_recipeWindows.end() ? nullptr : found->second.data();
}

bool DesktopApplication::presentError(const Error& error) {
    QWidget* parent = m_mainWindow;
    if (error.domain == kStoreErrorDomain) {
        presentDatabaseError(parent, error);
    } else {
        presentErrorAlert(parent, error);
    }
    return false;
}

void DesktopApplication::presentFatalDatabaseError(const Error& error) {
    presentDatabaseError(m_mainWindow, error);
    std::exit(EXIT_FAILURE);
}

void DesktopApplication::showAlert(const std::string& message, const std::string& informativeText,
                                   const std::string& button) {
    presentAlert(m_mainWindow, {QMessageBox::Warning,
                                qs(miravel::tr(message)),
                                qs(miravel::tr(informativeText)),
                                {qs(miravel::tr(button))}});
}

bool DesktopApplication::commitEditing() {
    // An open cell editor or field commits its text when it loses the focus.
    if (QWidget* focus = QApplication::focusWidget()) {
        focus->clearFocus();
    }
    return true;
}

void DesktopApplication::showWelcomeWindow() {
    if (!m_welcomeWindow) {
        m_welcomeWindow = new WelcomeWindow(*this);
        m_welcomeWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_welcomeWindow, &WelcomeWindow::dismissed, this,
                [this] { m_application->welcomeControllerDismissed(); });
    }
    m_welcomeWindow->show();
    m_welcomeWindow->raise();
    m_welcomeWindow->activateWindow();
}

void DesktopApplication::showMainWindow() {
    if (!m_mainWindow) {
        m_mainWindow = new MainWindow(*this);
        m_mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void DesktopApplication::showMigrationWindow() {
    auto* controller = m_application->migrationController();
    if (controller == nullptr) {
        return;
    }
    if (!m_migrationWindow) {
        m_migrationWindow = new MigrationWindow(*controller);
        m_migrationWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_migrationWindow->refresh();
    m_migrationWindow->show();
    m_migrationWindow->raise();
}

void DesktopApplication::migrationWindowChanged(const MigrationController& controller) {
    if (!m_migrationWindow) {
        return;
    }
    if (controller.view().closed) {
        // The controller goes right after; the window must not draw it again.
        m_migrationWindow->hide();
        m_migrationWindow->deleteLater();
        m_migrationWindow.clear();
        QTimer::singleShot(0, this, &DesktopApplication::startSyncSchedule);
        return;
    }
    m_migrationWindow->refresh();
}

void DesktopApplication::closeMainWindow() {
    // A window that goes takes itself out of the map: delete from a copy.
    auto windows = std::exchange(m_recipeWindows, {});
    for (auto& [recipe, window] : windows) {
        delete window.data();
    }
    delete m_mainWindow.data();
}

void DesktopApplication::quitApplication(int status) {
    QCoreApplication::exit(status);
}

void DesktopApplication::openUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(qs(url)));
}

void DesktopApplication::showRecipeForFile(const std::filesystem::path& path) {
    auto opened = openRecipeFile(m_application->library(), path);
    if (!opened) {
        presentAlert(m_mainWindow, {QMessageBox::Warning,
                                    qs(miravel::tr(kRecipeErrorTitle)),
                                    qs(opened.error().description),
                                    {qs(miravel::tr("OK"))}});
        return;
    }
    openRecipeWindow(*opened);
}

Library& DesktopApplication::library() {
    return m_application->library();
}

ManagedObjectContext& DesktopApplication::context() {
    return *m_application->managedObjectContext();
}

MailHandoff& DesktopApplication::mail() {
    return *m_mail;
}

const std::filesystem::path& DesktopApplication::mailFolder() {
    if (m_mailFolder.empty()) {
        if (auto folder = makePrivateTemporaryFolder("miravel-mail"); folder) {
            m_mailFolder = *folder;
        } else {
            logUnresolvedError(folder.error());
        }
    }
    return m_mailFolder;
}

PrintHandoff& DesktopApplication::printer() {
    return *m_printer;
}

void DesktopApplication::openRecipeWindow(const std::shared_ptr<Recipe>& recipe) {
    if (!recipe) {
        return;
    }
    auto& window = m_recipeWindows[recipe.get()];
    if (!window) {
        window = new RecipeWindow(*this, recipe);
        connect(window, &QObject::destroyed, this,
                [this, key = recipe.get()] { m_recipeWindows.erase(key); });
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void DesktopApplication::editRecipe(const std::shared_ptr<Recipe>& recipe, QWidget* parent) {
    auto* dialog = new EditRecipeDialog(*this, recipe, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void DesktopApplication::showInBrowser(const std::string& url) {
    if (!m_mainWindow) {
        return;
    }
    BrowserPane* browser = m_mainWindow->browserPane();
    if (browser == nullptr) {
        // No engine here (see MainWindow): the page opens in the desktop's browser.
        openUrl(url);
        return;
    }
    browser->showAddress(url);
    m_mainWindow->showBrowserPane();
}

// The application object's own notices (an automatic backup that failed) go to the main
// window.
void DesktopApplication::showNotice(const std::string& text) {
    showNotice(text, m_mainWindow.data());
}

void DesktopApplication::showNotice(const std::string& text, QWidget* over) {
    if (over == nullptr) {
        return;
    }
    auto* notice = over->findChild<Notice*>(QString(), Qt::FindDirectChildrenOnly);
    if (notice == nullptr) {
        notice = new Notice(over);
    }
    notice->showText(qs(miravel::tr(text)));
}

}  // namespace miravel::desktop
