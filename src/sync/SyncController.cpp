#include "sync/SyncController.h"

#include "lib/ApplicationIdentifier.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "model/Keychain.h"
#include "model/Library.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"
#include "sync/MiravelSyncService.h"

namespace miravel {

namespace {

constexpr const char* kManually = "Manually";

}  // namespace

SyncController::SyncController(Library& library, MiravelService& service, Keychain& keychain)
    : m_library(library), m_service(service), m_keychain(keychain) {}

SyncController::~SyncController() {
    *m_alive = false;
    cancelSyncTimer();
    if (m_startupSync) {
        m_library.mainQueue().cancel(*m_startupSync);
    }
    if (m_engine) {
        m_engine->cancelSync = true;
    }
    // The run's saves wait for the main queue; keep it turning until the run ends.
    if (m_thread.joinable()) {
        m_library.mainQueue().runUntil([this] { return !isSyncing(); }, std::chrono::minutes(5));
        m_thread.join();
    }
}

void SyncController::checkIfLoggedIn() {
    bool loggedIn = false;
    if (auto email = m_library.settings().string(kAccountEmailKey)) {
        auto item = m_keychain.genericKeychainItemForService(kApplicationIdentifier, *email);
        if (!item) {
            logLine("Could not read the keychain: {}", item.error().description);
        }
        loggedIn = item && item->has_value();
    }
    setIsLoggedIn(loggedIn);
}

bool SyncController::isLoggedIn() const {
    return m_library.isLoggedIn();
}

void SyncController::setIsLoggedIn(bool loggedIn) {
    bool was = m_library.isLoggedIn();
    m_library.setLoggedIn(loggedIn);
    if (was && !loggedIn && m_engine && m_engine->isRunning) {
        m_engine->cancelSync = true;
    }
}

void SyncController::scheduleTimer() {
    std::weak_ptr<bool> alive = m_alive;
    m_timer = m_library.mainQueue().postAfter(kSyncInterval, [this, alive] {
        if (alive.expired()) {
            return;
        }
        scheduleTimer();
        timerFired();
    });
}

void SyncController::startSyncTimer() {
    if (!m_timer) {
        scheduleTimer();
    }
}

void SyncController::cancelSyncTimer() {
    if (m_timer) {
        m_library.mainQueue().cancel(*m_timer);
        m_timer.reset();
    }
}

MiravelSyncService& SyncController::syncService() {
    if (!m_engine) {
        m_engine = std::make_unique<MiravelSyncService>(m_library, m_service);
    }
    return *m_engine;
}

bool SyncController::isSyncing() const {
    return m_engine && m_engine->isRunning.load();
}

bool SyncController::runSyncService(bool showAlert) {
    if (!isLoggedIn()) {
        return false;
    }
    MiravelSyncService& engine = syncService();
    if (engine.isRunning) {
        return false;
    }
    engine.isRunning = true;
    if (m_timer) {
        // A sync by hand pushes the next timed one back to a full interval.
        m_library.mainQueue().cancel(*m_timer);
        scheduleTimer();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_thread = std::thread([&engine, showAlert] { engine.runSync(showAlert); });
    return true;
}

void SyncController::waitForSync() {
    if (m_thread.joinable()) {
        m_library.mainQueue().runUntil([this] { return !isSyncing(); }, std::chrono::hours(1));
        m_thread.join();
    }
}

void SyncController::runSyncButton() {
    if (!isLoggedIn()) {
        if (m_openPane) {
            m_openPane();
        }
        return;
    }
    runSyncService(true);
}

void SyncController::applicationDidStart() {
    checkIfLoggedIn();
    if (!isLoggedIn() || m_library.settings().text(kSyncUpdateKey) == kManually) {
        return;
    }
    startSyncTimer();
    std::weak_ptr<bool> alive = m_alive;
    m_startupSync = m_library.mainQueue().postAfter(kStartupSyncDelay, [this, alive] {
        if (!alive.expired()) {
            m_startupSync.reset();
            runSyncService(false);
        }
    });
}

Result<void> SyncController::completeLogin(const std::string& email, const std::string& password) {
    UserSettings& settings = m_library.settings();
    auto stored =
        m_keychain.addGenericKeychainItemForService(kApplicationIdentifier, email, password);
    if (!stored) {
        // Without the password no sync could run; the account is not taken half-way.
        return stored;
    }
    settings.setString(kAccountEmailKey, email);
    m_service.setCredentials();
    setIsLoggedIn(true);
    if (settings.text(kSyncUpdateKey) != kManually) {
        startSyncTimer();
    }
    return {};
}

void SyncController::logout() {
    UserSettings& settings = m_library.settings();
    if (auto email = settings.string(kAccountEmailKey)) {
        settings.remove(kAccountEmailKey);
        auto removed = m_keychain.removeFromKeychain(kApplicationIdentifier, *email);
        if (!removed) {
            logLine("Could not remove the password from the keychain: {}",
                    removed.error().description);
        }
    }
    m_service.clearCredentials();
    setIsLoggedIn(false);
    cancelSyncTimer();
}

void SyncController::syncUpdateChanged(const std::string& value) {
    UserSettings& settings = m_library.settings();
    std::string previous = settings.text(kSyncUpdateKey);
    if (previous == value) {
        return;
    }
    settings.setString(kSyncUpdateKey, value);
    if (previous == kManually) {
        startSyncTimer();
    } else if (value == kManually) {
        cancelSyncTimer();
    }
}

const AccountAlert& SyncController::logoutQuestion() {
    static const AccountAlert question{
        tr("Are you sure you want to log out?"),
        tr("This will remove your ability to sync recipes, meals, and grocery lists.")};
    return question;
}

AccountFlow::AccountFlow(SyncController& controller, MiravelService& service)
    : m_controller(controller), m_service(service) {}

std::optional<AccountAlert> AccountFlow::login(const std::string& email,
                                               const std::string& password, Done done) {
    if (email.empty()) {
        return AccountAlert{tr("Error"), tr("Please enter an email address.")};
    }
    if (password.empty()) {
        return AccountAlert{tr("Error"), tr("Please enter a password.")};
    }
    *m_busy = true;
    auto busy = m_busy;
    SyncController& controller = m_controller;
    m_service.login(email, password)
        ->target(
            [busy, &controller, email, password, done](const JsonValue&) {
                *busy = false;
                auto completed = controller.completeLogin(email, password);
                if (!completed) {
                    done({tr("Error Logging In"), completed.error().description}, false);
                    return;
                }
                done({tr("Success"), tr("You are now logged in.")}, true);
            },
            [busy, done](const Error& error) {
                logLine("Login errored: {}", error.description);
                *busy = false;
                done({tr("Error Logging In"), error.description}, false);
            });
    return std::nullopt;
}

std::optional<AccountAlert> AccountFlow::createAccount(const std::string& email,
                                                       const std::string& password,
                                                       const std::string& confirmation, Done done) {
    if (email.empty()) {
        return AccountAlert{tr("Error"), tr("Please enter an email address.")};
    }
    if (password.empty()) {
        return AccountAlert{tr("Error"), tr("Please enter a password.")};
    }
    if (password.size() < 6) {
        return AccountAlert{tr("Error"), tr("Passwords must be at least six characters.")};
    }
    if (password != confirmation) {
        return AccountAlert{tr("Error"), tr("Passwords do not match.")};
    }
    *m_busy = true;
    auto busy = m_busy;
    SyncController& controller = m_controller;
    m_service.registerAccount(email, password)
        ->target(
            [busy, &controller, email, password, done](const JsonValue&) {
                *busy = false;
                auto completed = controller.completeLogin(email, password);
                if (!completed) {
                    done({tr("Error Creating Account"), completed.error().description}, false);
                    return;
                }
                done({tr("Thank You"), tr("Your account has been created.")}, true);
            },
            [busy, done](const Error& error) {
                logLine("Signup errored: {}", error.description);
                *busy = false;
                done({tr("Error Creating Account"), error.description}, false);
            });
    return std::nullopt;
}

}  // namespace miravel
