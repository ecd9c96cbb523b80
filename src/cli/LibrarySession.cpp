#include "cli/LibrarySession.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "ingredients/IngredientParser.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/MigrationController.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"

namespace miravel::cli {

namespace {

// The sentence for a library that cannot be used as it is, with what to do about it.
std::optional<std::string> libraryProblem(const Error& error) {
    if (error.domain == kStoreErrorDomain &&
        error.code == static_cast<int>(StoreErrorCode::Damaged)) {
        return error.description +
               ". Run \"miravel repair\" (with the same --library) to copy what can still be "
               "read into a new store; the damaged file is kept beside it.";
    }
    if (error.domain == kStoreErrorDomain &&
        (error.code & 0xff) == static_cast<int>(StoreErrorCode::ReadOnly)) {
        return std::string("The library is read-only, so nothing was changed.");
    }
    if (error.domain == kStartupErrorDomain &&
        error.code == static_cast<int>(StartupErrorCode::StoreUnavailable)) {
        // The reason was presented just before; this only says what became of the command.
        return std::string(
            "The library could not be opened for the reason above, so nothing was "
            "done; check the folder given with --library (\"miravel info\" "
            "shows the one in use).");
    }
    return std::nullopt;
}

}  // namespace

bool CommandLineHooks::presentError(const Error& error) {
    m_failed = true;
    if (auto problem = libraryProblem(error)) {
        m_err << "miravel: " << *problem << "\n";
        return false;
    }
    m_err << "miravel: " << error.description;
    if (!error.failureReason.empty()) {
        m_err << " " << error.failureReason;
    }
    m_err << "\n";
    return false;
}

int CommandLineHooks::reportDatabaseError(const Error& error) {
    m_failed = true;
    if (auto problem = libraryProblem(error)) {
        m_err << "miravel: " << *problem << "\n";
    } else {
        m_err << "Database Error: There was an error saving to the database. Please restart the "
                 "application.\n("
              << error.description << ")\n";
    }
    m_err.flush();
    return kExitFailure;
}

void CommandLineHooks::presentFatalDatabaseError(const Error& error) {
    std::exit(reportDatabaseError(error));
}

void CommandLineHooks::showAlert(const std::string& message, const std::string& informativeText,
                                 const std::string&) {
    m_err << message << " " << informativeText << "\n";
}

void CommandLineHooks::showMigrationProgress(double fraction) {
    if (::isatty(STDERR_FILENO) == 0) {
        if (!m_progressDrawn) {
            m_err << "Upgrading database... please wait.\n";
            m_progressDrawn = true;
        }
        return;
    }
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kWidth);
    m_err << "\rUpgrading database... [" << std::string(static_cast<std::size_t>(filled), '#')
          << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] "
          << MigrationController::percentText(fraction) << std::flush;
    m_progressDrawn = true;
    if (fraction >= 1.0) {
        m_err << "\r\033[K" << std::flush;
    }
}

UserSettings& commandLineSettings() {
    static UserSettings settings(configFolder() / kSettingsFileName,
                                 &NotificationCenter::defaultCenter());
    return settings;
}

LibrarySession::LibrarySession(Invocation& invocation)
    : m_invocation(invocation),
      m_hooks(invocation.err),
      m_keychain(Keychain::systemKeychain(configFolder())) {
    m_application = std::make_unique<MiravelAppDelegate>(
        invocation.library, commandLineSettings(), *m_keychain, m_hooks,
        IngredientParser::sharedParser(), NotificationCenter::defaultCenter(), MainQueue::shared());
    Library& library = m_application->library();
    if (auto refused = refusal()) {
        invocation.err << "miravel: " << *refused << "\n";
        return;
    }
    if (auto installed = IngredientParser::sharedParser().checkReferenceStore(); !installed) {
        m_hooks.presentError(installed.error());
        return;
    }
    library.setReadOnly(invocation.readOnly || !library.isWritable());
    // Damage is looked for before start-up writes anything (the first start's bookmarks) and
    // before the verb prints what a damaged store would wrongly show as empty.
    // (A store of another layout is the start-up's to report.)
    auto coordinator = m_application->shouldMigrateDatabase()
                           ? nullptr
                           : m_application->persistentStoreCoordinator();
    if (coordinator) {
        if (auto sound = coordinator->checkIntegrity(); !sound) {
            m_hooks.presentError(sound.error());
            return;
        }
    }
    m_application->launchWithoutWindows();
    if (!m_hooks.failed()) {
        m_context = m_application->managedObjectContext();
    }
}

std::optional<std::string> LibrarySession::refusal() const {
    const Library& library = m_application->library();
    std::error_code error;
    const bool reads = m_invocation.access == LibraryAccess::Reads;
    // A folder that is a file is start-up's to report, in its own words.
    const bool folderIsAFile = std::filesystem::exists(library.filesFolder(), error) &&
                               !std::filesystem::is_directory(library.filesFolder(), error);
    if (reads && (m_invocation.libraryNamed || m_invocation.readOnly) && !folderIsAFile &&
        !std::filesystem::exists(library.storeFile(), error)) {
        return "No library at " + library.filesFolder().string() + " (it has no " +
               std::string(kStoreFileName) + "); check the folder given with --library.";
    }
    if (!reads && (m_invocation.readOnly || !library.isWritable())) {
        return "The library at " + library.filesFolder().string() +
               " is read-only, so nothing was changed.";
    }
    return std::nullopt;
}

LibrarySession::~LibrarySession() {
    // Let observers see the last changes before the context goes.
    MainQueue::shared().processPending();
    // Damage met only by a statement the verb ran (the check at the start found none, or
    // the store changed since): what the verb printed may be wrong, and the run has failed.
    if (m_context != nullptr && m_context->coordinator()->isDamaged()) {
        m_invocation.libraryDamaged = true;
        m_hooks.presentError(m_context->coordinator()->checkIntegrity().error());
    }
}

}  // namespace miravel::cli
