#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "model/ApplicationHooks.h"
#include "model/Keychain.h"
#include "model/MiravelAppDelegate.h"
#include "store/StoreErrorCode.h"

namespace miravel {
class UserSettings;
}

namespace miravel::cli {

// How the command line presents what the application object reports: on standard error.
// A failed save is the "Database Error" and the verb's status 1: a verb returns
// reportDatabaseError(error); only the application object's own start-up saves end the
// process there and then. A damaged or read-only library is told in one sentence that says
// what to do.
class CommandLineHooks : public ApplicationHooks {
public:
    explicit CommandLineHooks(std::ostream& err) : m_err(err) {}
    bool presentError(const Error& error) override;
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override;
    // Prints the "Database Error" text; returns the exit status.
    int reportDatabaseError(const Error& error);
    void showAlert(const std::string& message, const std::string& informativeText,
                   const std::string& button) override;
    // A bar on standard error while an older store is converted, drawn only on a terminal.
    void showMigrationProgress(double fraction) override;
    bool failed() const { return m_failed; }

private:
    std::ostream& m_err;
    bool m_failed = false;
    bool m_progressDrawn = false;
};

// The settings of this run of the program: the user's settings file, announced on the
// process's notification centre. Made on first use.
UserSettings& commandLineSettings();

// The library a verb works on, started as the application starts (store, defaults,
// bookmarks, signed-in state) without any window. Here, and only here, the verb's access
// decides how the library is opened: a reading verb opens a read-only library read-only and
// never makes a missing one; a writing verb is refused a read-only or damaged library before
// it changes anything.
class LibrarySession {
public:
    explicit LibrarySession(Invocation& invocation);
    ~LibrarySession();

    // The main context, or null when the library could not be opened (already reported).
    ManagedObjectContext* context() { return m_context; }
    MiravelAppDelegate& application() { return *m_application; }
    ApplicationHooks& hooks() { return m_hooks; }
    // A controller's failed save, presented: the verb returns what this returns.
    int databaseError(const Error& error) { return m_hooks.reportDatabaseError(error); }
    // What a controller refused: the Database Error when the store failed, else its own
    // message.
    int failure(const Error& error) {
        return error.domain == kStoreErrorDomain ? databaseError(error)
                                                 : m_invocation.failure(error.description);
    }
    Keychain& keychain() { return *m_keychain; }

private:
    // Why the library cannot be used by this verb, if it cannot; nothing is opened then.
    std::optional<std::string> refusal() const;

    Invocation& m_invocation;
    CommandLineHooks m_hooks;
    std::unique_ptr<Keychain> m_keychain;
    std::unique_ptr<MiravelAppDelegate> m_application;
    ManagedObjectContext* m_context = nullptr;
};

}  // namespace miravel::cli
