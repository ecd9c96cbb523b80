// miravel-server: the sync and page-parse service, and the operator's account commands.

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "ingredients/IngredientParser.h"
#include "lib/JsonParser.h"
#include "lib/Log.h"
#include "server/Controllers.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/RecipePageParsing.h"
#include "server/Storage.h"

namespace {

using namespace miravel;
using namespace miravel::server;

constexpr const char* kUsage = R"(Usage:
  miravel-server serve --database DB [--listen HOST:PORT] [--photos DIR] [--base-url URL]
                       [--registration open|first|closed] [--trusted-proxy ADDRESS]
                       [--threads N]
  miravel-server account list --database DB
  miravel-server account create EMAIL --database DB
  miravel-server account reset-password EMAIL --database DB
  miravel-server account delete EMAIL --database DB [--photos DIR]
  miravel-server account history EMAIL [UID] --database DB
  miravel-server account restore EMAIL VERSION --database DB
  miravel-server --help

DB is sqlite:PATH (one file, the default choice) or a postgresql:// connection address.
Photos are kept in DIR, by default the folder "photos" beside a SQLite file.
--listen defaults to 127.0.0.1:8080. --base-url is the address clients reach the server at
(photo addresses start with it); by default http://HOST:PORT of --listen.
--registration: "first" (the default) lets only the first account register itself, "open"
lets anyone register, "closed" no one; the operator creates accounts with "account create".
--trusted-proxy: requests from this address may name the client in X-Forwarded-For.
Passwords are read from standard input (asked for twice on a terminal).
)";

struct Arguments {
    std::vector<std::string> positional;
    std::string database;
    std::string listen = "127.0.0.1:8080";
    std::string photos;
    std::string baseUrl;
    std::string registration = "first";
    std::string trustedProxy;
    int threads = 64;
};

int usageError(const std::string& message) {
    fmt::print(stderr, "miravel-server: {}\n\n{}", message, kUsage);
    return 2;
}

std::optional<Arguments> parseArguments(int argc, char** argv, std::string& error) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        bool ok = true;
        if (argument == "--database") {
            ok = value(arguments.database);
        } else if (argument == "--listen") {
            ok = value(arguments.listen);
        } else if (argument == "--photos") {
            ok = value(arguments.photos);
        } else if (argument == "--base-url") {
            ok = value(arguments.baseUrl);
        } else if (argument == "--registration") {
            ok = value(arguments.registration);
        } else if (argument == "--trusted-proxy") {
            ok = value(arguments.trustedProxy);
        } else if (argument == "--threads") {
            std::string text;
            ok = value(text);
            if (ok) {
                try {
                    arguments.threads = std::stoi(text);
                } catch (...) {
                    arguments.threads = 0;
                }
                if (arguments.threads < 1 || arguments.threads > 1024) {
                    error = "--threads needs a number from 1 to 1024";
                    return std::nullopt;
                }
            }
        } else if (argument.starts_with("--")) {
            error = "unknown option " + argument;
            return std::nullopt;
        } else {
            arguments.positional.push_back(argument);
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    return arguments;
}

std::filesystem::path photosFolder(const Arguments& arguments) {
    if (!arguments.photos.empty()) {
        return arguments.photos;
    }
    if (arguments.database.starts_with("sqlite:")) {
        return std::filesystem::path(arguments.database.substr(7)).parent_path() / "photos";
    }
    return {};
}

std::optional<std::string> readLine(bool hidden, const char* prompt) {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        fmt::print(stderr, "{}", prompt);
        if (hidden && tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal && hidden) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        fmt::print(stderr, "\n");
    }
    if (!got) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::optional<std::string> readNewPassword() {
    auto password = readLine(true, "Password: ");
    if (!password) {
        fmt::print(stderr, "miravel-server: no password given\n");
        return std::nullopt;
    }
    if (isatty(STDIN_FILENO)) {
        auto again = readLine(true, "Password again: ");
        if (!again || *again != *password) {
            fmt::print(stderr, "miravel-server: Passwords do not match.\n");
            return std::nullopt;
        }
    }
    return password;
}

std::string entryName(const std::string& body) {
    auto parsed = JsonParser::parse(body);
    const JsonValue* name = parsed ? parsed->member("name") : nullptr;
    return name && name->isString() ? name->asString() : std::string();
}

int fail(const std::string& message) {
    fmt::print(stderr, "miravel-server: {}\n", message);
    return 1;
}

std::optional<Account> accountNamed(Storage& storage, const std::string& email) {
    auto normalized = normalizedEmail(email);
    if (!normalized) {
        return std::nullopt;
    }
    auto found = storage.findAccount(*normalized);
    return found ? *found : std::nullopt;
}

int accountCommand(const Arguments& arguments, Storage& storage) {
    const auto& words = arguments.positional;
    const std::string verb = words.size() > 1 ? words[1] : "";
    PhotoFiles photos(photosFolder(arguments));
    if (verb == "list" && words.size() == 2) {
        auto accounts = storage.accounts();
        if (!accounts) {
            return fail(accounts.error().description);
        }
        for (const auto& account : *accounts) {
            fmt::print("{}\t{}\n", account.email, account.created);
        }
        return 0;
    }
    if (words.size() < 3) {
        return usageError("account " + verb + " needs an e-mail address");
    }
    const std::string& email = words[2];
    PasswordHasher hasher({});
    AccountService service(storage, hasher, RegistrationPolicy::Closed);
    if (verb == "create" && words.size() == 3) {
        auto password = readNewPassword();
        if (!password) {
            return 1;
        }
        auto account = service.createAccount(email, *password);
        if (!account) {
            return fail(account.error().message);
        }
        fmt::print("Created the account {}.\n", account->email);
        return 0;
    }
    if (verb == "reset-password" && words.size() == 3) {
        auto password = readNewPassword();
        if (!password) {
            return 1;
        }
        if (auto done = service.resetPassword(email, *password); !done) {
            return fail(done.error().message);
        }
        fmt::print("The password of {} is changed.\n", email);
        return 0;
    }
    auto account = accountNamed(storage, email);
    if (!account) {
        return fail("There is no account with this email address.");
    }
    if (verb == "delete" && words.size() == 3) {
        auto removed = storage.deleteAccount(account->email);
        if (!removed) {
            return fail(removed.error().description);
        }
        if (*removed) {
            for (const auto& photoHash : **removed) {
                photos.remove(account->id, photoHash);
            }
        }
        fmt::print("Deleted the account {} and its data.\n", account->email);
        return 0;
    }
    if (verb == "history" && (words.size() == 3 || words.size() == 4)) {
        auto entries = storage.history(account->id, words.size() == 4 ? words[3] : "");
        if (!entries) {
            return fail(entries.error().description);
        }
        for (const auto& entry : *entries) {
            fmt::print("{}\t{}\t{}\t{}\n", entry.id, entry.savedAt, entry.uid,
                       entryName(entry.body));
        }
        return 0;
    }
    if (verb == "restore" && words.size() == 4) {
        std::int64_t id = 0;
        try {
            id = std::stoll(words[3]);
        } catch (...) {
            return usageError("restore needs the version number \"account history\" shows");
        }
        auto outcome = storage.restore(account->id, id, newPhotoToken());
        if (!outcome) {
            return fail(outcome.error().code == kStorageNotFound ? "There is no such version."
                                                                 : outcome.error().description);
        }
        for (const auto& photoHash : outcome->releasedPhotoHashes) {
            if (auto inUse = storage.photoInUse(account->id, photoHash); inUse && !*inUse) {
                photos.remove(account->id, photoHash);
            }
        }
        fmt::print("Restored version {}; the account's devices get it at their next sync.\n", id);
        return 0;
    }
    return usageError("unknown account command");
}

int serve(const Arguments& arguments, Storage& storage) {
    // Without the ingredient names the phone's page would file every new item under the
    // wrong aisle; the sync itself does not need them.
    if (auto checked = miravel::IngredientParser::sharedParser().checkReferenceStore(); !checked) {
        fmt::print(stderr, "miravel-server: {}\n", checked.error().description);
        return 1;
    }
    ServerOptions options;
    options.baseUrl = arguments.baseUrl;
    options.trustedProxy = arguments.trustedProxy;
    options.threads = arguments.threads;
    options.recipePage = recipePageParser();
    if (arguments.registration == "open") {
        options.registration = RegistrationPolicy::Open;
    } else if (arguments.registration == "first") {
        options.registration = RegistrationPolicy::First;
    } else if (arguments.registration == "closed") {
        options.registration = RegistrationPolicy::Closed;
    } else {
        return usageError("--registration is open, first or closed");
    }
    const auto folder = photosFolder(arguments);
    if (folder.empty()) {
        return usageError("--photos is needed with a PostgreSQL database");
    }
    const auto colon = arguments.listen.rfind(':');
    if (colon == std::string::npos) {
        return usageError("--listen needs HOST:PORT");
    }
    std::string host = arguments.listen.substr(0, colon);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    int port = -1;
    try {
        port = std::stoi(arguments.listen.substr(colon + 1));
    } catch (...) {
    }
    if (port < 0 || port > 65535) {
        return usageError("--listen needs a port from 0 to 65535");
    }
    PhotoFiles photos(folder);
    tuneAllocatorForServing();
    MiravelServer server(options, storage, photos);
    auto bound = server.bind(host, port);
    if (!bound) {
        return fail(bound.error().description);
    }
    // SIGINT and SIGTERM end the server from a thread of their own: it stops accepting and
    // finishes the requests in flight.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        logLine("Stopping on signal {}", received);
        server.stop();
    });
    logLine("miravel-server listening on {}:{}, photos in {}, addresses {}", host, *bound,
            folder.string(), server.baseUrl());
    server.run();
    // After a stop from elsewhere the waiter still waits: wake it.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            fmt::print("{}", kUsage);
            return 0;
        }
    }
    std::string error;
    auto arguments = parseArguments(argc, argv, error);
    if (!arguments) {
        return usageError(error);
    }
    const auto& words = arguments->positional;
    if (words.empty()) {
        return usageError("no command given");
    }
    if (words[0] != "serve" && words[0] != "account") {
        return usageError("unknown command " + words[0]);
    }
    if (arguments->database.empty()) {
        return usageError("--database is needed");
    }
    auto storage = openStorage(arguments->database);
    if (!storage) {
        return fail(storage.error().description);
    }
    if (words[0] == "serve") {
        if (words.size() != 1) {
            return usageError("serve takes no further words");
        }
        return serve(*arguments, **storage);
    }
    return accountCommand(*arguments, **storage);
}
