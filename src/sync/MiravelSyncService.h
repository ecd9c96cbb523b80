#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lib/Error.h"
#include "lib/NotificationCenter.h"

namespace miravel {

class BackgroundContext;
class Library;
class MiravelService;

// Brings the library and the account on the server into step, both ways: bookmarks, grocery
// items, categories, recipes and meals, in that order. A run happens on the thread that calls
// runSync, in a background context of its own; each save reaches the main context through
// the library's one background hand-off. Statuses are only changed after the server has
// taken what they stand for, so a run that stops anywhere (an error, a crash) leaves work the
// next run repeats.
class MiravelSyncService {
public:
    MiravelSyncService(Library& library, MiravelService& service);
    ~MiravelSyncService();

    // One whole run, on the calling thread; the requester has set isRunning. `showAlert`: the
    // run was started by the user, so a failure is presented through the error presenter.
    void runSync(bool showAlert);

    std::atomic<bool> isRunning{false};
    std::atomic<bool> cancelSync{false};

    // Shows the "Sync Error" alert; called on the main queue.
    void setErrorPresenter(std::function<void(const std::string& description)> presenter) {
        m_presenter = std::move(presenter);
    }
    // Called on the sync thread as each entity starts ("bookmarks", ... "meals").
    void setProgressHandler(std::function<void(std::string_view entity)> progress) {
        m_progress = std::move(progress);
    }
    // The error of the last run, read after it ended.
    const std::optional<Error>& lastError() const { return m_lastError; }

    // The account and server the statuses refer to: "email server".
    static std::string accountBinding(const std::string& email, const std::string& baseUrl);

private:
    struct ListEntity;
    void syncList(const ListEntity& entity);
    void syncRecipes();
    void rebindAccount(const std::string& binding);
    void saveContext();
    void record(const Error& error);
    bool shouldContinue() const { return !cancelSync.load() && !m_syncError; }
    void freshContext();

    Library& m_library;
    MiravelService& m_service;
    std::unique_ptr<BackgroundContext> m_context;
    std::optional<Error> m_syncError;
    std::optional<Error> m_lastError;
    std::function<void(const std::string&)> m_presenter;
    std::function<void(std::string_view)> m_progress;
};

}  // namespace miravel
