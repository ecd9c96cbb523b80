#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>

#include "model/ApplicationHooks.h"
#include "model/Keychain.h"
#include "model/MiravelAppDelegate.h"

namespace miravel {
class UserSettings;
}

namespace miravel::cli {

// How the command line presents what the application object reports: on standard error,
// and a failed save ends the program with status 1.
class CommandLineHooks : public ApplicationHooks {
public:
    explicit CommandLineHooks(std::ostream& err) : m_err(err) {}
    bool presentError(const Error& error) override;
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override;
    void showAlert(const std::string& message, const std::string& informativeText,
                   const std::string& button) override;
    bool failed() const { return m_failed; }

private:
    std::ostream& m_err;
    bool m_failed = false;
};

// The settings of this run of the program: the user's settings file, announced on the
// process's notification centre. Made on first use.
UserSettings& commandLineSettings();

// The library a verb works on, started as the application starts (store, defaults,
// bookmarks, signed-in state) without any window.
class LibrarySession {
public:
    LibrarySession(const std::filesystem::path& library, std::ostream& err);
    ~LibrarySession();

    // The main context, or null when the library could not be opened (already reported).
    ManagedObjectContext* context() { return m_context; }
    MiravelAppDelegate& application() { return *m_application; }
    ApplicationHooks& hooks() { return m_hooks; }
    Keychain& keychain() { return *m_keychain; }

private:
    CommandLineHooks m_hooks;
    std::unique_ptr<Keychain> m_keychain;
    std::unique_ptr<MiravelAppDelegate> m_application;
    ManagedObjectContext* m_context = nullptr;
};

}  // namespace miravel::cli
