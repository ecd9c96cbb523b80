#include "model/MiravelAppDelegate.h"
#include "model/MiravelObjectModel.h"

#include <system_error>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/PropertyList.h"
#include "lib/ResourceFolder.h"
#include "lib/StringTable.h"
#include "model/AutomaticBackups.h"
#include "model/Bookmark.h"
#include "model/Keychain.h"
#include "model/LibraryBackup.h"
#include "model/MigrationController.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"

namespace miravel {

MiravelAppDelegate::MiravelAppDelegate(std::filesystem::path filesFolder, UserSettings& settings,
                                       Keychain& keychain, ApplicationHooks& hooks,
                                       const IngredientParser& parser, NotificationCenter& center,
                                       MainQueue& queue)
    : m_library(std::move(filesFolder), settings, parser, center, queue),
      m_keychain(keychain),
      m_hooks(hooks),
      m_versions(miravelModelVersions()) {}

MiravelAppDelegate::~MiravelAppDelegate() {
    m_alive.reset();
    if (m_backupTimer) {
        m_library.mainQueue().cancel(*m_backupTimer);
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_backupWorker.joinable()) {
        m_backupWorker.join();
    }
}

Result<void> MiravelAppDelegate::backUpBeforeConversion() {
    auto kept = miravel::backUpBeforeConversion(
        applicationFilesDirectory(), backupsFolder(applicationFilesDirectory(), settings()),
        m_versions, currentMoment());
    if (!kept) {
        return std::unexpected(kept.error());
    }
    if (*kept) {
        logLine("Library backed up before its conversion: {}", (*kept)->string());
    }
    return {};
}

void MiravelAppDelegate::scheduleAutomaticBackups() {
    if (m_backupTimer) {
        m_library.mainQueue().cancel(*m_backupTimer);
    }
    startAutomaticBackup();
    std::weak_ptr<bool> alive = m_alive;
    m_backupTimer = m_library.mainQueue().postAfter(kAutomaticBackupCheckInterval, [this, alive] {
        if (alive.lock()) {
            m_backupTimer.reset();
            scheduleAutomaticBackups();
        }
    });
}

void MiravelAppDelegate::startAutomaticBackup() {
    if (m_backupRunning || !settings().boolean(kAutomaticBackupsKey)) {
        return;
    }
    if (m_backupWorker.joinable()) {
        m_backupWorker.join();
    }
    m_backupRunning = true;
    m_backupWorker = std::thread([this, files = applicationFilesDirectory(),
                                  folder = backupsFolder(applicationFilesDirectory(), settings())] {
        auto run = runAutomaticBackup(files, folder, m_versions, currentMoment());
        if (!run) {
            logLine("Automatic backup failed: {}", run.error().description);
        } else if (run->written) {
            logLine("Automatic backup written: {}", run->written->string());
        }
        postToMain([this, run] {
            m_backupRunning = false;
            if (!run && !m_backupFailureShown) {
                m_backupFailureShown = true;
                m_hooks.showNotice(run.error().description);
            } else if (run) {
                m_backupFailureShown = false;
            }
        });
    });
}

void MiravelAppDelegate::setModelVersions(ModelVersions versions) {
    m_versions = std::move(versions);
    m_library.setObjectModel(*m_versions.current);
}

void MiravelAppDelegate::postToMain(std::function<void()> task) {
    std::weak_ptr<bool> alive = m_alive;
    m_library.mainQueue().post([alive, task = std::move(task)] {
        if (alive.lock()) {
            task();
        }
    });
}

void MiravelAppDelegate::startWorker(std::function<void()> work) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_worker = std::thread(std::move(work));
}

MigrationController& MiravelAppDelegate::makeMigrationController() {
    if (!m_migrationController) {
        m_migrationController = std::make_unique<MigrationController>(
            m_library.mainQueue(),
            MigrationController::Actions{[this](int status) { m_hooks.quitApplication(status); },
                                         [this](const std::string& url) { m_hooks.openUrl(url); }},
            [this] {
                if (m_migrationController) {
                    m_hooks.migrationWindowChanged(*m_migrationController);
                }
            });
    }
    return *m_migrationController;
}

void MiravelAppDelegate::migrateDatabase() {
    MigrationController* window = m_migrationController.get();
    if (auto kept = backUpBeforeConversion(); !kept) {
        postToMain([this, message = kept.error().description] { showMigrationError(message); });
        return;
    }
    auto converted = convertStore(storeUrl(), m_versions, [window](double fraction) {
        if (window != nullptr) {
            window->setProgress(fraction);
        }
    });
    if (!converted) {
        postToMain(
            [this, message = converted.error().description] { showMigrationError(message); });
        return;
    }
    postToMain([this] { finishMigration(); });
}

void MiravelAppDelegate::showMigrationError(const std::string& message) {
    m_migrating = false;
    if (m_migrationController) {
        m_migrationController->showErrorMessage(message);
    } else {
        m_hooks.presentError(Error{kConversionErrorDomain, 0, message, {}});
    }
}

void MiravelAppDelegate::restoreFromBackup(const std::filesystem::path& path) {
    m_hooks.closeMainWindow();
    if (auto closed = m_library.close(); !closed) {
        m_hooks.presentError(closed.error());
        return;
    }
    m_coordinatorTried = false;
    m_contextTried = false;
    MigrationController& window = makeMigrationController();
    window.showBackupState();
    m_hooks.showMigrationWindow();
    startWorker([this, path] { backupWithZipFilePath(path); });
}

void MiravelAppDelegate::backupWithZipFilePath(const std::filesystem::path& path) {
    auto restored = restoreLibraryBackup(applicationFilesDirectory(), path, m_versions);
    if (!restored) {
        logLine("Error restoring from backup: {}", restored.error().description);
    }
    postToMain([this, restored] {
        // The window closes once the library is open again: what became of the library stays
        // on screen in an alert.
        if (restored) {
            const std::string kept = restored->previousLibrary
                                         ? "The library as it was before is kept in \"" +
                                               restored->previousLibrary->string() + "\"."
                                         : std::string();
            if (m_migrationController) {
                m_migrationController->finishBackup(kept);
            }
            if (!kept.empty()) {
                m_hooks.showAlert(tr("Restore from backup complete."), kept, tr("OK"));
            }
        } else {
            const std::string message =
                restored.error().description + " " + tr("Your library was left as it was.");
            if (m_migrationController) {
                m_migrationController->finishDialogWithMessage(message);
            }
            m_hooks.showAlert(tr("Restore Failed"), message, tr("OK"));
        }
        initializeWithMigration();
    });
}

std::filesystem::path MiravelAppDelegate::storeUrl() const {
    return m_library.storeFile();
}

std::shared_ptr<PersistentStoreCoordinator> MiravelAppDelegate::persistentStoreCoordinator() {
    if (m_coordinatorTried) {
        return m_library.mainContext() != nullptr ? m_library.mainContext()->coordinator()
                                                  : nullptr;
    }
    m_coordinatorTried = true;
    auto opened = m_library.open();
    if (!opened) {
        m_hooks.presentError(opened.error());
        return nullptr;
    }
    return *opened;
}

ManagedObjectContext* MiravelAppDelegate::managedObjectContext() {
    if (m_contextTried) {
        return m_library.mainContext();
    }
    m_contextTried = true;
    if (!persistentStoreCoordinator()) {
        m_hooks.presentError(makeError(kStartupErrorDomain, StartupErrorCode::StoreUnavailable,
                                       "Failed to initialize the store",
                                       "There was an error building up the data file.")
                                 .error());
        return nullptr;
    }
    return m_library.mainContext();
}

bool MiravelAppDelegate::shouldMigrateDatabase() const {
    auto metadata = PersistentStoreCoordinator::metadataForStore(storeUrl());
    if (!metadata) {
        return false;
    }
    return !metadata->isMiravelStore() || metadata->modelVersion != m_versions.current->version();
}

void MiravelAppDelegate::applicationDidFinishLaunching() {
    m_windowed = true;
    initializeWithMigration();
}

void MiravelAppDelegate::initializeWithMigration() {
    if (shouldMigrateDatabase()) {
        m_migrating = true;
        MigrationController& window = makeMigrationController();
        window.showMigrationState();
        m_hooks.showMigrationWindow();
        // The conversion reports back through finishMigration() or showMigrationError().
        startWorker([this] { migrateDatabase(); });
        return;
    }
    if (m_migrationController) {
        m_migrationController->closeWindow();
        m_migrationController.reset();
    }
    setupMainWindow();
}

void MiravelAppDelegate::finishMigration() {
    m_migrating = false;
    if (m_migrationController) {
        m_migrationController->finishMigration();
        m_migrationController.reset();
    }
    setupMainWindow();
}

void MiravelAppDelegate::setupMainWindow() {
    // The windows read their settings as they are made (the category column's order, the
    // grocery list's grouping): the defaults must be written before the first one opens.
    configureDefaults();
    if (!settings().boolean(kWelcomeDisplayedKey)) {
        settings().setBoolean(kWelcomeDisplayedKey, true);
        // Unwritten, the welcome comes back at the next start: worth a line in the log only.
        if (auto written = settings().synchronize(); !written) {
            logUnresolvedError(written.error());
        }
        m_hooks.showWelcomeWindow();
    } else {
        displayMainWindow();
    }
    finishSetup();
}

void MiravelAppDelegate::launchWithoutWindows() {
    if (shouldMigrateDatabase()) {
        if (m_library.isReadOnly()) {
            m_hooks.presentError(
                makeError(kStoreErrorDomain, StoreErrorCode::ReadOnly,
                          "The library \"" + storeUrl().string() +
                              "\" was written by another version of Miravel and must be "
                              "converted, which a read-only library cannot be.")
                    .error());
            return;
        }
        if (auto kept = backUpBeforeConversion(); !kept) {
            m_hooks.presentError(kept.error());
            return;
        }
        auto converted = convertStore(storeUrl(), m_versions, [this](double fraction) {
            m_hooks.showMigrationProgress(fraction);
        });
        if (!converted) {
            m_hooks.presentError(converted.error());
            return;
        }
    }
    finishSetup();
}

void MiravelAppDelegate::finishSetup() {
    configureBookmarks();
    configureDefaults();
    checkIfLoggedIn();
    if (m_filenameToOpen) {
        m_hooks.showRecipeForFile(*m_filenameToOpen);
        m_filenameToOpen.reset();
    }
    m_initialized = true;
    if (m_windowed) {
        scheduleAutomaticBackups();
    }
}

void MiravelAppDelegate::displayMainWindow() {
    m_hooks.showMainWindow();
}

void MiravelAppDelegate::configureBookmarks() {
    if (settings().boolean(kBookmarksInsertedKey)) {
        return;
    }
    ManagedObjectContext* context = managedObjectContext();
    // Left for the first start that may write, which still finds the setting unset.
    if (context == nullptr || m_library.isReadOnly()) {
        return;
    }
    auto path = resourcePath("Bookmarks.plist");
    auto bytes = path ? readFile(*path) : Result<std::string>(std::unexpected(path.error()));
    auto list =
        bytes ? readPropertyList(*bytes) : Result<JsonValue>(std::unexpected(bytes.error()));
    if (!list) {
        logLine("Could not read the default bookmarks: {}", list.error().description);
        return;
    }
    const JsonValue* entries = list->member("Bookmarks");
    if (entries != nullptr && entries->isArray()) {
        for (const auto& entry : entries->asArray()) {
            const JsonValue* title = entry.member("Title");
            const JsonValue* url = entry.member("Url");
            auto bookmark = context->insert<Bookmark>();
            bookmark->setTitle(title != nullptr && title->isString()
                                   ? std::optional<std::string>(title->asString())
                                   : std::nullopt);
            bookmark->setUrl(url != nullptr && url->isString()
                                 ? std::optional<std::string>(url->asString())
                                 : std::nullopt);
            bookmark->setStatus(kStatusModified);
        }
    }
    if (auto saved = context->save(); !saved) {
        // The first save of a new library: if it fails, nothing later can be saved either.
        logUnresolvedError(saved.error());
        m_hooks.presentFatalDatabaseError(saved.error());
    }
    settings().setBoolean(kBookmarksInsertedKey, true);
    if (auto written = settings().synchronize(); !written) {
        logUnresolvedError(written.error());
    }
}

void MiravelAppDelegate::configureDefaults() {
    settings().configureDefaults();
}

void MiravelAppDelegate::checkIfLoggedIn() {
    bool loggedIn = false;
    if (auto email = settings().string(kAccountEmailKey)) {
        auto item = m_keychain.genericKeychainItemForService(kApplicationIdentifier, *email);
        if (!item) {
            logLine("Could not read the keychain: {}", item.error().description);
        }
        loggedIn = item && item->has_value();
    }
    setIsLoggedIn(loggedIn);
}

void MiravelAppDelegate::setIsLoggedIn(bool loggedIn) {
    m_library.setLoggedIn(loggedIn);
}

bool MiravelAppDelegate::applicationOpenFile(const std::filesystem::path& path) {
    logLine("Open miravelrecipe file");
    if (m_initialized) {
        m_hooks.showRecipeForFile(path);
    } else {
        m_filenameToOpen = path;
    }
    return true;
}

void MiravelAppDelegate::saveAction() {
    if (!m_hooks.commitEditing()) {
        logLine("MiravelAppDelegate:saveAction: unable to commit editing before saving");
    }
    ManagedObjectContext* context = managedObjectContext();
    if (context == nullptr) {
        return;
    }
    if (auto saved = context->save(); !saved) {
        m_hooks.presentError(saved.error());
    }
}

MiravelAppDelegate::TerminateReply MiravelAppDelegate::applicationShouldTerminate() {
    ManagedObjectContext* context = m_library.mainContext();
    if (context == nullptr) {
        return TerminateReply::Now;
    }
    if (!m_hooks.commitEditing()) {
        logLine(
            "MiravelAppDelegate:applicationShouldTerminate: unable to commit editing to "
            "terminate");
        return TerminateReply::Cancel;
    }
    if (!context->hasChanges()) {
        return TerminateReply::Now;
    }
    auto saved = context->save();
    if (saved) {
        return TerminateReply::Now;
    }
    if (m_hooks.presentError(saved.error())) {
        return TerminateReply::Cancel;
    }
    m_hooks.showAlert("Could not save changes while quitting.",
                      "Please report this issue to technical support.", "Quit");
    return TerminateReply::Now;
}

}  // namespace miravel
