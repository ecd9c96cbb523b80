#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "lib/Error.h"
#include "model/ApplicationHooks.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

class Keychain;
class UserSettings;

// The application object: owns the library's files folder, the store and its main context,
// the signed-in flag, and the start-up and quitting rules. Runs on the main thread.
class MiravelAppDelegate {
public:
    enum class TerminateReply { Now, Cancel };

    MiravelAppDelegate(std::filesystem::path filesFolder, UserSettings& settings,
                       Keychain& keychain, ApplicationHooks& hooks);
    ~MiravelAppDelegate();

    const std::filesystem::path& applicationFilesDirectory() const { return m_filesFolder; }
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
    void configureBookmarks();
    void configureDefaults();
    void checkIfLoggedIn();
    bool isLoggedIn() const { return m_isLoggedIn; }
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

    ApplicationHooks& hooks() { return m_hooks; }
    UserSettings& settings() { return m_settings; }
    Keychain& keychain() { return m_keychain; }

private:
    void finishSetup();

    std::filesystem::path m_filesFolder;
    UserSettings& m_settings;
    Keychain& m_keychain;
    ApplicationHooks& m_hooks;
    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
    bool m_coordinatorTried = false;
    std::unique_ptr<ManagedObjectContext> m_context;
    bool m_contextTried = false;
    bool m_isLoggedIn = false;
    bool m_migrating = false;
    bool m_initialized = false;
    std::optional<std::filesystem::path> m_filenameToOpen;
};

// Saves a context the way every screen does: on failure the error is logged and the fatal
// "Database Error" is presented.
void saveContext(ManagedObjectContext& context, ApplicationHooks& hooks);

// The error texts of the store's start-up.
inline constexpr const char* kStartupErrorDomain = "YOUR_ERROR_DOMAIN";

}  // namespace miravel
