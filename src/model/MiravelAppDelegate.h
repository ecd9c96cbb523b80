#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "lib/Error.h"
#include "model/ApplicationHooks.h"
#include "model/Library.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/StoreConversion.h"

namespace miravel {

class IngredientParser;
class Keychain;
class MainQueue;
class MigrationController;
class NotificationCenter;
class UserSettings;

// The application object: owns the library (its files folder, the store and its main
// context, the signed-in flag) and the start-up and quitting rules. Runs on the main thread.
class MiravelAppDelegate {
public:
    enum class TerminateReply { Now, Cancel };

    MiravelAppDelegate(std::filesystem::path filesFolder, UserSettings& settings,
                       Keychain& keychain, ApplicationHooks& hooks, const IngredientParser& parser,
                       NotificationCenter& center, MainQueue& queue);
    ~MiravelAppDelegate();

    Library& library() { return m_library; }
    const std::filesystem::path& applicationFilesDirectory() const {
        return m_library.filesFolder();
    }
    std::filesystem::path storeUrl() const;

    // Opened on first use. Failures are presented and leave no store.
    std::shared_ptr<PersistentStoreCoordinator> persistentStoreCoordinator();
    ManagedObjectContext* managedObjectContext();

    // Start-up as the desktop runs it: store check (with conversion when needed), welcome or
    // main window, bookmarks, defaults, signed-in state, the waiting file.
    void applicationDidFinishLaunching();
    // Start-up without windows, for the command line: the same steps, no window, and the
    // welcome window is left for the desktop's first start.
    void launchWithoutWindows();

    // The store file was written by another version of the layout and must be converted.
    bool shouldMigrateDatabase() const;
    void initializeWithMigration();
    void finishMigration();
    void setupMainWindow();
    void displayMainWindow();
    void welcomeControllerDismissed() { displayMainWindow(); }

    // The layouts the store may be written in: the program's own unless set before start-up
    // (the tests add an earlier layout).
    void setModelVersions(ModelVersions versions);
    const ModelVersions& modelVersions() const { return m_versions; }
    // The progress window of a running conversion or restore; null otherwise.
    MigrationController* migrationController() { return m_migrationController.get(); }
    // Background thread: converts the store, then reports to the main thread (finishMigration
    // or showMigrationError).
    void migrateDatabase();
    void showMigrationError(const std::string& message);
    // Closes the main window and the store, shows the progress window in its restore mode and
    // restores `path` on a background thread (backupWithZipFilePath); the start-up then runs
    // again on the restored library, or on the previous one if the restore failed.
    void restoreFromBackup(const std::filesystem::path& path);
    // Background thread: the restore itself.
    void backupWithZipFilePath(const std::filesystem::path& path);
    void configureBookmarks();
    void configureDefaults();
    void checkIfLoggedIn();
    bool isLoggedIn() const { return m_library.isLoggedIn(); }
    void setIsLoggedIn(bool loggedIn);

    // A recipe file handed over by the desktop; shown at once after start-up, or kept until
    // start-up finishes. Always answers true.
    bool applicationOpenFile(const std::filesystem::path& path);
    const std::optional<std::filesystem::path>& filenameToOpen() const { return m_filenameToOpen; }
    bool initialized() const { return m_initialized; }

    // Saves the main context; a failure is presented.
    void saveAction();
    TerminateReply applicationShouldTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // While the windows are up: an automatic backup on a thread of its own after start-up and
    // then whenever one is due (checked every hour), unless "AutomaticBackups" is off. A
    // failure is reported once, in a notice.
    void scheduleAutomaticBackups();
    static constexpr std::chrono::hours kAutomaticBackupCheckInterval{1};
    bool automaticBackupRunning() const { return m_backupRunning; }

    ApplicationHooks& hooks() { return m_hooks; }
    UserSettings& settings() { return m_library.settings(); }
    Keychain& keychain() { return m_keychain; }

private:
    void finishSetup();
    void startAutomaticBackup();
    // The backup taken before a conversion; false (and the error presented) when it failed.
    Result<void> backUpBeforeConversion();
    // Runs `task` on the main queue, unless this object is gone by then.
    void postToMain(std::function<void()> task);
    void startWorker(std::function<void()> work);
    MigrationController& makeMigrationController();

    Library m_library;
    Keychain& m_keychain;
    ApplicationHooks& m_hooks;
    bool m_coordinatorTried = false;
    bool m_contextTried = false;
    bool m_migrating = false;
    bool m_initialized = false;
    std::optional<std::filesystem::path> m_filenameToOpen;
    ModelVersions m_versions;
    std::unique_ptr<MigrationController> m_migrationController;
    std::thread m_worker;
    std::thread m_backupWorker;
    bool m_backupRunning = false;
    bool m_backupFailureShown = false;
    bool m_windowed = false;
    std::optional<std::uint64_t> m_backupTimer;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
