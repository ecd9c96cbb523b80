#pragma once

#include <filesystem>
#include <string>

#include "lib/Error.h"

namespace miravel {

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
    // A store conversion is needed; the front end shows its progress while it runs.
    virtual void showMigrationWindow() {}
    // Opens a recipe file as a new recipe of the library, in its own window.
    virtual void showRecipeForFile(const std::filesystem::path&) {}
};

}  // namespace miravel
