#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/NotificationCenter.h"
#include "sync/SyncController.h"

namespace miravel {

class Keychain;
class Library;
class MiravelService;
class UserSettings;

// Stores the server's address ("ServiceBaseURL") without the spaces around it; empty or the
// default address removes the setting. Answers whether anything was written.
bool changeServiceAddress(UserSettings& settings, const std::string& address);

// What the settings window changes elsewhere at once: the lists that show the changed
// setting, and the window itself when a sync starts or ends.
class SettingsControllerDelegate {
public:
    virtual ~SettingsControllerDelegate() = default;
    // The category column re-sorts by name or by the user's order.
    virtual void setAlphabetizeCategories(bool) {}
    virtual void setSortGroceryListByAisles(bool) {}
    virtual void setConsolidateGroceryList(bool) {}
    // Turned on, a backup that is due should be made now, not at the next hourly check.
    virtual void automaticBackupsChanged(bool) {}
    // The Cloud Sync pane shows another page, or a sync started or finished: draw it again.
    virtual void cloudSyncChanged() {}
};

// The settings window: the "General", "Cloud Sync" and "Grocery List" panes, what each control
// shows and what choosing in it stores and sets off. Every menu change is written at once;
// the text fields are written when their editing ends (saveSettings). Main thread only.
class SettingsController {
public:
    enum Pane { General = 0, CloudSync = 1, GroceryList = 2 };
    // The Cloud Sync pane's pages.
    enum class CloudSyncPage { Login, CreateAccount, ManageSync };

    SettingsController(Library& library, SyncController& sync, MiravelService& service,
                       const Keychain& keychain, SettingsControllerDelegate* delegate = nullptr);
    ~SettingsController();
    SettingsController(const SettingsController&) = delete;
    SettingsController& operator=(const SettingsController&) = delete;

    void setDelegate(SettingsControllerDelegate* delegate) { m_delegate = delegate; }

    // The panes in toolbar order, by identifier ("general", "cloudsync", "grocerylist").
    static const std::vector<std::string>& paneIdentifiers();
    // The toolbar label of a pane identifier ("General"), translated.
    static std::string paneLabel(std::string_view identifier);

    // 0 "general", 1 "cloudsync", 2 "grocerylist"; any other number keeps the pane shown.
    void showPane(int pane);
    // A toolbar item was chosen: the pane of the same identifier (an unknown one is ignored).
    void tabChanged(std::string_view identifier);
    const std::string& selectedPane() const { return m_pane; }
    int selectedPaneIndex() const;

    // --- General ---
    std::string homePage() const;
    std::string defaultRecipient() const;
    // Writes "DefaultUrl" and "DefaultEmail" when the text differs from what is stored, as
    // typed. Answers whether anything was written.
    bool saveSettings(const std::string& homePage, const std::string& defaultRecipient);

    // The menus' items, translated, and the index the stored value selects.
    static std::vector<std::string> fontSizeItems();
    std::size_t fontSizeIndex() const;
    void fontSizeChanged(std::size_t index);

    static std::vector<std::string> yesNoItems();
    std::size_t alphabetizeCategoriesIndex() const;
    void alphabetizeCategoriesChanged(std::size_t index);

    // The locale's weekday names, Sunday first; the stored day is the index plus one.
    static std::vector<std::string> weekdayItems();
    std::size_t weekStartDayIndex() const;
    void dayOfWeekChanged(std::size_t index);

    // Automatic backups: the "AutomaticBackups" switch (a Yes/No menu) and where they go.
    std::size_t automaticBackupsIndex() const;
    void automaticBackupsChanged(std::size_t index);
    // The folder the next backup goes to: "BackupsFolder", or "Backups" beside the library.
    std::filesystem::path backupsFolder() const;
    bool backupsFolderIsDefault() const;
    // An empty path goes back to the default folder.
    void backupsFolderChanged(const std::filesystem::path& folder);

    // --- Grocery List ---
    std::size_t groceryAislesIndex() const;
    void groceryAisleChanged(std::size_t index);
    std::size_t groceryConsolidationIndex() const;
    void groceryConsolidateChanged(std::size_t index);

    // --- Cloud Sync ---
    // Follows the signed-in state, however it changed (the welcome assistant, a logout).
    CloudSyncPage cloudSyncPage() const;
    // The login page's "Create Account" button, and back.
    void showCreateAccountPage();
    void showLoginPage();

    std::string accountEmail() const;
    // "LastSyncedDate" in the locale's medium date and time styles, or "Never".
    std::string lastSyncedText() const;
    // "SyncError", or "Success" when there is none.
    std::string statusText() const;

    // "Manually" and "Automatically", translated; a stored "WiFi Only" selects the second.
    static std::vector<std::string> syncModeItems();
    std::size_t syncModeIndex() const;
    void syncUpdateChanged(std::size_t index);

    bool isSyncing() const { return m_sync.isSyncing(); }
    // "Sync Now", or "Syncing..." while a sync runs (the button is then disabled).
    std::string syncNowTitle() const;
    bool syncNowEnabled() const { return !isSyncing(); }
    // Answers whether a run started.
    bool syncNowPressed() { return m_sync.runSyncService(true); }

    // Both sheets' flows; a refused check answers its alert and sends nothing. On success the
    // pane shows its signed-in page before `done` is called.
    std::optional<AccountAlert> login(const std::string& email, const std::string& password,
                                      AccountFlow::Done done);
    std::optional<AccountAlert> createAccount(const std::string& email, const std::string& password,
                                              const std::string& confirmation,
                                              AccountFlow::Done done);
    bool accountRequestRunning() const { return m_flow.isBusy(); }

    // Logout asks first (SyncController::logoutQuestion, buttons "Logout" and "Cancel");
    // confirmed, it forgets the account, shows the login page and answers the alert to show.
    static std::vector<std::string> logoutButtons();
    AccountAlert logoutConfirmed();

    // The server's address ("ServiceBaseURL", or the default one) and why it is unsafe, if
    // it is (plain http beyond this computer).
    std::string serviceAddress() const;
    std::string serviceAddressWarning() const;
    // Stored without the spaces around it; empty goes back to the default. Answers whether
    // anything was written.
    bool serviceAddressChanged(const std::string& address);

    // Where the account's password is kept, in a sentence for the pane.
    std::string passwordStorageText() const;

    // "Forgot Password?": every user runs their own server, so there is no reset page to
    // open; the alert says who can set a new password.
    static AccountAlert forgotPasswordAlert();

    // The point size of the stored "FontSize" (15 for an unknown name).
    static int fontSizeForName(std::string_view name);
    int currentFontSize() const;

private:
    void setBooleanFromMenu(std::string_view key, std::size_t index);
    void setPage(CloudSyncPage page);
    AccountFlow::Done signedIn(AccountFlow::Done done);

    Library& m_library;
    SyncController& m_sync;
    MiravelService& m_service;
    const Keychain& m_keychain;
    SettingsControllerDelegate* m_delegate;
    AccountFlow m_flow;
    std::string m_pane;
    CloudSyncPage m_page;
    Observation m_syncStarted;
    Observation m_syncFinished;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
