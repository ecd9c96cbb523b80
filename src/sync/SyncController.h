#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "lib/Error.h"
#include "lib/MainQueue.h"

namespace miravel {

class Keychain;
class Library;
class MiravelService;
class MiravelSyncService;

inline constexpr std::chrono::seconds kSyncInterval{300};
inline constexpr std::chrono::seconds kStartupSyncDelay{1};

// An alert for the front end to show: title and text.
struct AccountAlert {
    std::string title;
    std::string message;
    bool operator==(const AccountAlert&) const = default;
};

// The signed-in state, the sync schedule and the one sync engine of the application, as the
// application object, the sync button and the Cloud Sync pane use them. Main thread only;
// each sync runs on a thread of its own.
class SyncController {
public:
    SyncController(Library& library, MiravelService& service, Keychain& keychain);
    ~SyncController();

    // Signed in: "AccountEmail" is set and the keychain holds a password for it.
    void checkIfLoggedIn();
    bool isLoggedIn() const;
    // Signing out stops a running sync at its next entity or recipe.
    void setIsLoggedIn(bool loggedIn);

    void startSyncTimer();
    void cancelSyncTimer();
    bool hasSyncTimer() const { return m_timer.has_value(); }
    void timerFired() { runSyncService(false); }

    // Requests one sync: nothing when signed out, dropped while one runs. Answers whether a
    // run started.
    bool runSyncService(bool showAlert);
    // The sync button: signed out, it opens the Cloud Sync pane instead.
    void runSyncButton();
    void setOpenCloudSyncPane(std::function<void()> open) { m_openPane = std::move(open); }

    // After the store is ready: the signed-in state, and with an automatic schedule the
    // timer and a first sync one second later.
    void applicationDidStart();

    // Stores the account (settings, keychain, service credentials), signs in and, unless the
    // schedule is manual, starts the timer.
    [[nodiscard]] Result<void> completeLogin(const std::string& email, const std::string& password);
    // Forgets the account; the library keeps its data and statuses.
    void logout();
    // The schedule menu: "Manually" or "Automatically".
    void syncUpdateChanged(const std::string& value);

    MiravelSyncService& syncService();
    bool isSyncing() const;
    // Joins a finished run's thread (the command line waits for its one run).
    void waitForSync();

    // The alert the logout button asks with.
    static const AccountAlert& logoutQuestion();

private:
    void scheduleTimer();

    Library& m_library;
    MiravelService& m_service;
    Keychain& m_keychain;
    std::unique_ptr<MiravelSyncService> m_engine;
    std::optional<MainQueue::TimerId> m_timer;
    std::optional<MainQueue::TimerId> m_startupSync;
    std::thread m_thread;
    std::function<void()> m_openPane;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The login and create-account sheets of the welcome assistant and the Cloud Sync pane:
// the checks before anything is sent, and what follows the service's answer.
class AccountFlow {
public:
    using Done = std::function<void(const AccountAlert& alert, bool succeeded)>;

    AccountFlow(SyncController& controller, MiravelService& service);

    // A failed check gives its alert at once and sends nothing; otherwise the request runs
    // and `done` is called on the main queue.
    std::optional<AccountAlert> login(const std::string& email, const std::string& password,
                                      Done done);
    std::optional<AccountAlert> createAccount(const std::string& email, const std::string& password,
                                              const std::string& confirmation, Done done);
    // Between the request and its answer (the spinner spins, the buttons are disabled).
    bool isBusy() const { return *m_busy; }

private:
    SyncController& m_controller;
    MiravelService& m_service;
    std::shared_ptr<bool> m_busy = std::make_shared<bool>(false);
};

}  // namespace miravel
