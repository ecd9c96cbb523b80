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
                "Miravel keeps your recipes in one place.\n\n"
                "\u2022 Clip recipes from web pages in the Browser pane.\n"
                "\u2022 Import the files of other recipe programs.\n"
                "\u2022 Scale a recipe by exact fractions.\n"
                "\u2022 Plan your meals by the week.\n"
                "\u2022 Build a grocery list sorted by store aisle.");
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
    return tr(
        "Your library is ready. The settings (Edit \u2192 Preferences) change the home "
        "page, the recipe text size, the first day of the week, the grocery list and "
        "the sync schedule at any time.\n\nPress Done to start using Miravel.");
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
