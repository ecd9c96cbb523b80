#pragma once

#include <optional>
#include <string>

#include "sync/SyncController.h"

namespace miravel {

class Library;
class MiravelService;

// The welcome assistant of the first start: a welcome page, the Cloud Sync page with its
// "Create Account" and "Login" sheets, and a last page whose "Done" shows the main window.
// Main thread only.
class WelcomeController {
public:
    enum class Page { Welcome, CloudSync, Finished };

    WelcomeController(Library& library, SyncController& sync, MiravelService& service);
    ~WelcomeController();
    WelcomeController(const WelcomeController&) = delete;
    WelcomeController& operator=(const WelcomeController&) = delete;

    Page page() const { return m_page; }
    bool canGoBack() const { return m_page != Page::Welcome; }
    bool isLastPage() const { return m_page == Page::Finished; }
    void next();
    void back();

    // The page's heading and text, translated.
    std::string title() const;
    std::string message() const;

    // The sheets' flows; on success the assistant moves to its next page before `done` runs
    // (the sheet then closes and the alert is shown).
    std::optional<AccountAlert> login(const std::string& email, const std::string& password,
                                      AccountFlow::Done done);
    std::optional<AccountAlert> createAccount(const std::string& email, const std::string& password,
                                              const std::string& confirmation,
                                              AccountFlow::Done done);
    bool accountRequestRunning() const { return m_flow.isBusy(); }
    bool isLoggedIn() const { return m_sync.isLoggedIn(); }

    // The server to sign in to, as in the Cloud Sync pane.
    std::string serviceAddress() const;
    std::string serviceAddressWarning() const;
    bool serviceAddressChanged(const std::string& address);

private:
    AccountFlow::Done advancing(AccountFlow::Done done);

    Library& m_library;
    SyncController& m_sync;
    MiravelService& m_service;
    AccountFlow m_flow;
    Page m_page = Page::Welcome;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
