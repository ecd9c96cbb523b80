#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "lib/Error.h"

namespace miravel {

class MigrationController;

// What the application object asks of the front end that presents it: windows, alerts and
// errors. The desktop implements these with real windows; the command line prints.
class ApplicationHooks {
public:
    virtual ~ApplicationHooks() = default;

    // Shows an error to the user. Returns true when the user recovered from it (the caller
    // then carries on as if nothing failed).
    virtual bool presentError(const Error& error) = 0;
    // The store could not be saved: "Database Error". The process ends once the user has
    // seen it; nothing more is saved.
    [[noreturn]] virtual void presentFatalDatabaseError(const Error& error) = 0;
    // A message with one button, e.g. "Could not save changes while quitting.".
    virtual void showAlert(const std::string& message, const std::string& informativeText,
                           const std::string& button) = 0;

    // Commits edits still open in the user interface (a field being typed in); false when
    // they cannot be committed.
    virtual bool commitEditing() { return true; }

    virtual void showWelcomeWindow() {}
    virtual void showMainWindow() {}
    // A store conversion or a restore runs; the front end shows the application object's
    // migrationController() until it closes, running the main queue meanwhile.
    virtual void showMigrationWindow() {}
    // The progress window's content changed: the front end redraws it.
    virtual void migrationWindowChanged(const MigrationController&) {}
    // A conversion run without windows (the command line) reports its progress here.
    virtual void showMigrationProgress(double) {}
    // A restore begins: the main window closes, the library is closed under it.
    virtual void closeMainWindow() {}
    // The progress window's "Quit": ends the process with `status`.
    virtual void quitApplication(int status) { std::exit(status); }
    // The progress window's "Send Bug Report": opens an address in the browser.
    virtual void openUrl(const std::string&) {}
    // Opens a recipe file as a new recipe of the library, in its own window.
    virtual void showRecipeForFile(const std::filesystem::path&) {}
    // A short message that goes away by itself (the main window's transient notice).
    virtual void showNotice(const std::string&) {}
};

}  // namespace miravel
