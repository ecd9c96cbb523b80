#include "sync/WelcomeController.h"

#include "lib/StringTable.h"
#include "model/Library.h"
#include "sync/MiravelService.h"
#include "sync/SettingsController.h"

namespace miravel {

WelcomeController::WelcomeController(Library& library, SyncController& sync,
                                     MiravelService& service)
    : m_library(library), m_sync(sync), m_service(service), m_flow(sync, service) {}

std::string WelcomeController::serviceAddress() const {
    return m_service.baseUrl();
}

std::string WelcomeController::serviceAddressWarning() const {
    return miravel::serviceAddressWarning(m_service.baseUrl());
}

bool WelcomeController::serviceAddressChanged(const std::string& address) {
    return changeServiceAddress(m_library.settings(), address);
}

WelcomeController::~WelcomeController() {
    *m_alive = false;
}

void WelcomeController::next() {
    if (m_page == Page::Welcome) {
        m_page = Page::CloudSync;
    } else if (m_page == Page::CloudSync) {
        m_page = Page::Finished;
    }
}

void WelcomeController::back() {
    if (m_page == Page::Finished) {
        m_page = Page::CloudSync;
    } else if (m_page == Page::CloudSync) {
        m_page = Page::Welcome;
    }
}

std::string WelcomeController::title() const {
    switch (m_page) {
        case Page::Welcome:
            return tr("Welcome to Miravel");
        case Page::CloudSync:
            return tr("Cloud Sync");
        case Page::Finished:
            break;
    }
    return tr("You're All Set");
}

std::string WelcomeController::message() const {
    switch (m_page) {
        case Page::Welcome:
            return tr(
                "Keep your recipes in one place: clip them from web pages, import them "
                "from other recipe programs, plan your meals and make grocery lists "
                "sorted by aisle.");
        case Page::CloudSync:
            if (m_sync.isLoggedIn()) {
                return tr(
                    "You are signed in. Your recipes, meals and grocery lists will be "
                    "kept in step with your other devices.");
            }
            return tr(
                "Sign in to your Miravel server to keep your recipes, meals and grocery "
                "lists in step with your other devices. You can also do this later in "
                "Settings.");
        case Page::Finished:
            break;
    }
    return tr("Press Done to start using Miravel.");
}

AccountFlow::Done WelcomeController::advancing(AccountFlow::Done done) {
    std::weak_ptr<bool> alive = m_alive;
    return [this, alive, done = std::move(done)](const AccountAlert& alert, bool succeeded) {
        if (succeeded && !alive.expired() && m_page == Page::CloudSync) {
            next();
        }
        if (done) {
            done(alert, succeeded);
        }
    };
}

std::optional<AccountAlert> WelcomeController::login(const std::string& email,
                                                     const std::string& password,
                                                     AccountFlow::Done done) {
    return m_flow.login(email, password, advancing(std::move(done)));
}

std::optional<AccountAlert> WelcomeController::createAccount(const std::string& email,
                                                             const std::string& password,
                                                             const std::string& confirmation,
                                                             AccountFlow::Done done) {
    return m_flow.createAccount(email, password, confirmation, advancing(std::move(done)));
}

}  // namespace miravel
