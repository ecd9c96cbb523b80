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

namespace miravel {
class UserSettings;
}

namespace miravel::cli {

// How the command line presents what the application object reports: on standard error,
// and a failed save ends the program with status 1. A damaged or read-only library is told
// in one sentence that says what to do.
class CommandLineHooks : public ApplicationHooks {
public:
    explicit CommandLineHooks(std::ostream& err) : m_err(err) {}
    bool presentError(const Error& error) override;
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override;
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
