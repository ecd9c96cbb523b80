#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/MainQueue.h"
#include "model/Library.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"
#include "sync/MiravelSyncService.h"
#include "sync/SyncController.h"

namespace miravel::cli {

namespace {

// From the terminal without echo, or the first line of standard input when it is no terminal.
std::optional<std::string> readPassword(std::ostream& err) {
    std::string password;
    if (isatty(STDIN_FILENO)) {
        err << "Password: " << std::flush;
        termios saved{};
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        bool read = static_cast<bool>(std::getline(std::cin, password));
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err << "\n";
        if (!read) {
            return std::nullopt;
        }
    } else if (!std::getline(std::cin, password)) {
        return std::nullopt;
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return password;
}

// The account verbs share the library's settings and keychain with the application.
struct SyncSession {
    explicit SyncSession(LibrarySession& session)
        : library(session.application().library()),
          service(library.settings(), session.keychain(), library.mainQueue()),
          controller(library, service, session.keychain()) {
        controller.checkIfLoggedIn();
    }
    Library& library;
    MiravelService service;
    SyncController controller;
};

void warnAboutAddress(Invocation& invocation, const MiravelService& service) {
    if (auto warning = serviceAddressWarning(service.baseUrl()); !warning.empty()) {
        invocation.err << "miravel: warning: " << warning << "\n";
    }
}

int accountSignIn(Invocation& invocation, bool create) {
    LibrarySession session(invocation);
    if (!session.context()) {
        return kExitFailure;
    }
    SyncSession sync(session);
    if (auto server = invocation.option("server")) {
        sync.library.settings().setString(kServiceBaseUrlKey, *server);
    }
    warnAboutAddress(invocation, sync.service);
    auto password = readPassword(invocation.err);
    if (!password) {
        return invocation.failure("no password given");
    }
    std::string confirmation = *password;
    if (create && isatty(STDIN_FILENO)) {
        invocation.err << "Again. ";
        confirmation = readPassword(invocation.err).value_or("");
    }
    AccountFlow flow(sync.controller, sync.service);
    std::optional<AccountAlert> outcome;
    bool succeeded = false;
    auto done = [&](const AccountAlert& alert, bool ok) {
        outcome = alert;
        succeeded = ok;
    };
    const std::string& email = invocation.arguments.front();
    if (auto refused = create ? flow.createAccount(email, *password, confirmation, done)
                              : flow.login(email, *password, done)) {
        return invocation.failure(refused->message);
    }
    sync.library.mainQueue().runUntil([&] { return outcome.has_value(); }, std::chrono::minutes(5));
    if (!outcome) {
        return invocation.failure("the server did not answer");
    }
    if (!succeeded) {
        return invocation.failure(outcome->title + ": " + outcome->message);
    }
    invocation.out << outcome->message << "\n";
    return kExitOk;
}

int accountLogout(Invocation& invocation) {
    LibrarySession session(invocation);
    if (!session.context()) {
        return kExitFailure;
    }
    SyncSession sync(session);
    sync.controller.logout();
    invocation.out << "You have successfully logged out.\n";
    return kExitOk;
}

int accountStatus(Invocation& invocation) {
    LibrarySession session(invocation);
    if (!session.context()) {
        return kExitFailure;
    }
    SyncSession sync(session);
    UserSettings& settings = sync.library.settings();
    invocation.out << "Account:     "
                   << (sync.controller.isLoggedIn() ? settings.text(kAccountEmailKey)
                                                    : std::string("not signed in"))
                   << "\n";
    invocation.out << "Server:      " << sync.service.baseUrl() << "\n";
    invocation.out << "Last synced: " << settings.string(kLastSyncedDateKey).value_or("Never")
                   << "\n";
    invocation.out << "Status:      " << settings.string(kSyncErrorKey).value_or("Success") << "\n";
    warnAboutAddress(invocation, sync.service);
    return kExitOk;
}

int syncNow(Invocation& invocation) {
    LibrarySession session(invocation);
    if (!session.context()) {
        return kExitFailure;
    }
    SyncSession sync(session);
    if (!sync.controller.isLoggedIn()) {
        return invocation.failure("not signed in; use \"miravel account login EMAIL\" first");
    }
    warnAboutAddress(invocation, sync.service);
    MiravelSyncService& engine = sync.controller.syncService();
    if (invocation.has("verbose")) {
        std::ostream& out = invocation.out;
        engine.setProgressHandler([&out](std::string_view entity) {
            out << "Syncing " << entity << "...\n" << std::flush;
        });
    }
    sync.controller.runSyncService(false);
    sync.controller.waitForSync();
    if (const auto& error = engine.lastError()) {
        return invocation.failure("Sync Error: " + error->description);
    }
    if (invocation.has("verbose")) {
        invocation.out << "Done.\n";
    }
    return kExitOk;
}

}  // namespace

void addSyncVerbs(CommandLine& commandLine) {
    const OptionSpec server{"server", "URL", "the address of your sync server"};
    commandLine.add(
        {"account",
         "register",
         "EMAIL",
         "create an account on the sync server and sign in (password on standard input)",
         {server},
         1,
         1,
         [](Invocation& invocation) { return accountSignIn(invocation, true); }});
    commandLine.add({"account",
                     "login",
                     "EMAIL",
                     "sign in to the sync server (password on standard input)",
                     {server},
                     1,
                     1,
                     [](Invocation& invocation) { return accountSignIn(invocation, false); }});
    commandLine.add({"account",
                     "logout",
                     "",
                     "sign out; the library keeps its recipes",
                     {},
                     0,
                     0,
                     accountLogout});
    commandLine.add({"account",
                     "status",
                     "",
                     "the account, its server and the last sync",
                     {},
                     0,
                     0,
                     accountStatus,
                     LibraryAccess::Reads});
    commandLine.add({"",
                     "sync",
                     "",
                     "sync the library with the account's server now",
                     {{"verbose", "", "a line as each kind of object starts"}},
                     0,
                     0,
                     syncNow});
}

}  // namespace miravel::cli
