#include "cli/LibrarySession.h"

#include <cstdlib>
#include <ostream>

#include "ingredients/IngredientParser.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"

namespace miravel::cli {

bool CommandLineHooks::presentError(const Error& error) {
    m_failed = true;
    m_err << "miravel: " << error.description;
    if (!error.failureReason.empty()) {
        m_err << " " << error.failureReason;
    }
    m_err << "\n";
    return false;
}

void CommandLineHooks::presentFatalDatabaseError(const Error& error) {
    m_err << "Database Error: There was an error saving to the database. Please restart the "
             "application.\n("
          << error.description << ")\n";
    m_err.flush();
    std::exit(1);
}

void CommandLineHooks::showAlert(const std::string& message, const std::string& informativeText,
                                 const std::string&) {
    m_err << message << " " << informativeText << "\n";
}

UserSettings& commandLineSettings() {
    static UserSettings settings(configFolder() / kSettingsFileName,
                                 &NotificationCenter::defaultCenter());
    return settings;
}

LibrarySession::LibrarySession(const std::filesystem::path& library, std::ostream& err)
    : m_hooks(err), m_keychain(Keychain::systemKeychain(configFolder())) {
    m_application = std::make_unique<MiravelAppDelegate>(
        library, commandLineSettings(), *m_keychain, m_hooks, IngredientParser::sharedParser(),
        NotificationCenter::defaultCenter(), MainQueue::shared());
    m_application->launchWithoutWindows();
    if (!m_hooks.failed()) {
        m_context = m_application->managedObjectContext();
    }
}

LibrarySession::~LibrarySession() {
    // Let observers see the last changes before the context goes.
    MainQueue::shared().processPending();
}

}  // namespace miravel::cli
