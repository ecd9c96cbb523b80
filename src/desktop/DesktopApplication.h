#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "desktop/MigrationWindow.h"
#include "desktop/Shell.h"
#include "model/ApplicationHooks.h"

class QTimer;

namespace miravel {
class Keychain;
class MainQueue;
class MiravelAppDelegate;
class MiravelService;
class NotificationCenter;
class SyncController;
}  // namespace miravel

namespace miravel::desktop {

class MainWindow;
class QtMailHandoff;
class QtPrintHandoff;
class RecipeWindow;
class SettingsWindow;
class WelcomeWindow;

// The running program: the application object with its library, the main window and the
// recipe windows, and the glue that lets the core's main queue run inside Qt's event loop.
class DesktopApplication : public QObject, public ApplicationHooks, public Shell {
    Q_OBJECT
public:
    DesktopApplication(std::filesystem::path libraryFolder, UserSettings& settings,
                       Keychain& keychain, NotificationCenter& center, MainQueue& queue);
    ~DesktopApplication() override;

    // The start-up: store check, conversion when needed, the main window, the waiting file.
    // False when the program cannot run (already reported).
    bool launch();
    // Recipe files handed over by the desktop or a second instance.
    void openFiles(const QStringList& files);
    // Saves and says whether the program may end now.
    bool mayQuit();

    MiravelAppDelegate& application() { return *m_application; }
    MainWindow* mainWindow() const;
    RecipeWindow* recipeWindowFor(const Recipe* recipe) const;
    QtPrintHandoff& qtPrinter() { return *m_printer; }
    // The account, the sync schedule and the one sync engine, shared by the windows.
    MiravelService& service() { return *m_service; }
    SyncController& syncController() { return *m_sync; }
    Keychain& keychain() { return m_keychain; }
    // The settings window on a pane (SettingsController::Pane numbering), made on first use.
    SettingsWindow& showSettingsWindow(int pane);
    SettingsWindow* settingsWindow() const;
    WelcomeWindow* welcomeWindow() const;
    // The progress window of a conversion or restore while one runs.
    MigrationWindow* migrationWindow() const { return m_migrationWindow.data(); }
    NotificationCenter& notificationCenter() { return m_center; }

    // ApplicationHooks
    bool presentError(const Error& error) override;
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override;
    void showAlert(const std::string& message, const std::string& informativeText,
                   const std::string& button) override;
    bool commitEditing() override;
    void showWelcomeWindow() override;
    void showMainWindow() override;
    void showMigrationWindow() override;
    void migrationWindowChanged(const MigrationController& controller) override;
    void closeMainWindow() override;
    void quitApplication(int status) override;
    void openUrl(const std::string& url) override;
    void showRecipeForFile(const std::filesystem::path& path) override;
    void showNotice(const std::string& text) override;

    // Shell
    Library& library() override;
    ManagedObjectContext& context() override;
    UserSettings& settings() override { return m_settings; }
    ApplicationHooks& hooks() override { return *this; }
    MailHandoff& mail() override;
    const std::filesystem::path& mailFolder() override;
    PrintHandoff& printer() override;
    void openRecipeWindow(const std::shared_ptr<Recipe>& recipe) override;
    void editRecipe(const std::shared_ptr<Recipe>& recipe, QWidget* parent) override;
    void showInBrowser(const std::string& url) override;
    void showNotice(const std::string& text, QWidget* over) override;

signals:
    // The sync button was pressed while signed out: the Cloud Sync settings should show.
    void cloudSyncSettingsRequested();

private:
    void drainQueue();
    void checkStore();
    // Once the store is ready: the signed-in state, the timer and the first sync.
    void startSyncSchedule();

    UserSettings& m_settings;
    Keychain& m_keychain;
    MainQueue& m_queue;
    NotificationCenter& m_center;
    std::unique_ptr<MiravelAppDelegate> m_application;
    std::unique_ptr<MiravelService> m_service;
    std::unique_ptr<SyncController> m_sync;
    bool m_syncScheduled = false;
    QPointer<SettingsWindow> m_settingsWindow;
    QPointer<WelcomeWindow> m_welcomeWindow;
    std::unique_ptr<QtPrintHandoff> m_printer;
    std::unique_ptr<QtMailHandoff> m_mail;
    std::filesystem::path m_mailFolder;
    QPointer<MainWindow> m_mainWindow;
    std::map<const Recipe*, QPointer<RecipeWindow>> m_recipeWindows;
    QPointer<MigrationWindow> m_migrationWindow;
    QTimer* m_timers;
    std::atomic<bool> m_wakePending{false};
    // Set once the program is ending: what the queue still runs then shows no alerts.
    bool m_ending = false;
};

}  // namespace miravel::desktop
