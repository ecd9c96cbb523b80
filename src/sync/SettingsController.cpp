#include "sync/SettingsController.h"

#include <algorithm>
#include <array>

#include "lib/DateStyles.h"
#include "lib/DateText.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "lib/TextPieces.h"
#include "model/AutomaticBackups.h"
#include "model/Keychain.h"
#include "model/Library.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"

namespace miravel {

namespace {

constexpr std::array<const char*, 3> kPaneIdentifiers{"general", "cloudsync", "grocerylist"};
constexpr std::array<const char*, 3> kPaneLabels{"General", "Cloud Sync", "Grocery List"};
// The settings pane offers these two; "WiFi Only" is left out of the shared table's modes.
constexpr std::array<const char*, 2> kSyncModes{"Manually", "Automatically"};
constexpr const char* kWifiOnly = "WiFi Only";

std::size_t yesNoIndex(bool value) {
    return value ? 0 : 1;
}

}  // namespace

SettingsController::SettingsController(Library& library, SyncController& sync,
                                       MiravelService& service, const Keychain& keychain,
                                       SettingsControllerDelegate* delegate)
    : m_library(library),
      m_sync(sync),
      m_service(service),
      m_keychain(keychain),
      m_delegate(delegate),
      m_flow(sync, service),
      m_pane(kPaneIdentifiers[General]),
      m_page(sync.isLoggedIn() ? CloudSyncPage::ManageSync : CloudSyncPage::Login) {
    // The engine posts both on the main queue; the pane redraws its button and texts.
    auto changed = [this](const Notification&) {
        if (m_delegate) {
            m_delegate->cloudSyncChanged();
        }
    };
    NotificationCenter& center = library.notificationCenter();
    m_syncStarted = center.addObserver(kSyncStartedNotification, nullptr, changed);
    m_syncFinished = center.addObserver(kSyncFinishedNotification, nullptr, changed);
}

SettingsController::~SettingsController() {
    *m_alive = false;
}

const std::vector<std::string>& SettingsController::paneIdentifiers() {
    static const std::vector<std::string> identifiers(kPaneIdentifiers.begin(),
                                                      kPaneIdentifiers.end());
    return identifiers;
}

std::string SettingsController::paneLabel(std::string_view identifier) {
    for (std::size_t i = 0; i < kPaneIdentifiers.size(); ++i) {
        if (identifier == kPaneIdentifiers[i]) {
            return tr(kPaneLabels[i]);
        }
    }
    return std::string(identifier);
}

void SettingsController::showPane(int pane) {
    if (pane >= 0 && pane < static_cast<int>(kPaneIdentifiers.size())) {
        m_pane = kPaneIdentifiers[static_cast<std::size_t>(pane)];
    }
}

void SettingsController::tabChanged(std::string_view identifier) {
    const auto& identifiers = paneIdentifiers();
    if (std::find(identifiers.begin(), identifiers.end(), identifier) != identifiers.end()) {
        m_pane = std::string(identifier);
    }
}

int SettingsController::selectedPaneIndex() const {
    const auto& identifiers = paneIdentifiers();
    return static_cast<int>(std::find(identifiers.begin(), identifiers.end(), m_pane) -
                            identifiers.begin());
}

// --- General ---

std::string SettingsController::homePage() const {
    return m_library.settings().text(kDefaultUrlKey);
}

std::string SettingsController::defaultRecipient() const {
    return m_library.settings().text(kDefaultEmailKey);
}

bool SettingsController::saveSettings(const std::string& homePage,
                                      const std::string& defaultRecipient) {
    UserSettings& settings = m_library.settings();
    bool wrote = false;
    if (settings.string(kDefaultUrlKey) != homePage) {
        settings.setString(kDefaultUrlKey, homePage);
        wrote = true;
    }
    if (settings.string(kDefaultEmailKey) != defaultRecipient) {
        settings.setString(kDefaultEmailKey, defaultRecipient);
        wrote = true;
    }
    return wrote;
}

std::vector<std::string> SettingsController::fontSizeItems() {
    std::vector<std::string> items;
    for (const auto& [key, name] : LocalizedSettingsManager::sharedManager().fontSizeNames()) {
        items.push_back(name);
    }
    return items;
}

std::size_t SettingsController::fontSizeIndex() const {
    const auto keys = LocalizedSettingsManager::sharedManager().fontSizeNames().keys();
    const std::string stored = m_library.settings().text(kFontSizeKey);
    auto found = std::find(keys.begin(), keys.end(), stored);
    // An unknown name is read as "Small", so the menu shows that.
    if (found == keys.end()) {
        found = std::find(keys.begin(), keys.end(), "Small");
    }
    return static_cast<std::size_t>(found - keys.begin());
}

void SettingsController::fontSizeChanged(std::size_t index) {
    const auto keys = LocalizedSettingsManager::sharedManager().fontSizeNames().keys();
    if (index >= keys.size()) {
        return;
    }
    // The settings post "SettingsFontSizeChanged" when the value changes.
    m_library.settings().setString(kFontSizeKey, keys[index]);
}

std::vector<std::string> SettingsController::yesNoItems() {
    return {tr("Yes"), tr("No")};
}

void SettingsController::setBooleanFromMenu(std::string_view key, std::size_t index) {
    m_library.settings().setBoolean(key, index == 0);
}

std::size_t SettingsController::alphabetizeCategoriesIndex() const {
    return yesNoIndex(m_library.settings().boolean(kAlphabetizeCategoriesKey));
}

void SettingsController::alphabetizeCategoriesChanged(std::size_t index) {
    if (index > 1) {
        return;
    }
    setBooleanFromMenu(kAlphabetizeCategoriesKey, index);
    if (m_delegate) {
        m_delegate->setAlphabetizeCategories(index == 0);
    }
}

std::vector<std::string> SettingsController::weekdayItems() {
    return weekdayNames();
}

std::size_t SettingsController::weekStartDayIndex() const {
    std::int64_t day = m_library.settings().integer(kWeekStartDayKey);
    if (day < 1 || day > 7) {
        // The planner reads a day outside the week as the locale's first day.
        day = localeFirstWeekday();
    }
    return static_cast<std::size_t>(day - 1);
}

void SettingsController::dayOfWeekChanged(std::size_t index) {
    if (index > 6) {
        return;
    }
    // The settings post "WeekStartDayChangedNotification" when the value changes.
    m_library.settings().setInteger(kWeekStartDayKey, static_cast<std::int64_t>(index) + 1);
}

std::size_t SettingsController::automaticBackupsIndex() const {
    return yesNoIndex(m_library.settings().boolean(kAutomaticBackupsKey));
}

void SettingsController::automaticBackupsChanged(std::size_t index) {
    if (index > 1) {
        return;
    }
    const bool was = m_library.settings().boolean(kAutomaticBackupsKey);
    setBooleanFromMenu(kAutomaticBackupsKey, index);
    if (m_delegate && was != (index == 0)) {
        m_delegate->automaticBackupsChanged(index == 0);
    }
}

std::filesystem::path SettingsController::backupsFolder() const {
    return miravel::backupsFolder(m_library.filesFolder(), m_library.settings());
}

bool SettingsController::backupsFolderIsDefault() const {
    return m_library.settings().text(kBackupsFolderKey).empty();
}

void SettingsController::backupsFolderChanged(const std::filesystem::path& folder) {
    UserSettings& settings = m_library.settings();
    if (folder.empty()) {
        settings.remove(kBackupsFolderKey);
        return;
    }
    // A relative folder would move with the program's working folder.
    settings.setString(kBackupsFolderKey,
                       std::filesystem::absolute(folder).lexically_normal().string());
}

// --- Grocery List ---

std::size_t SettingsController::groceryAislesIndex() const {
    return yesNoIndex(m_library.settings().boolean(kGroceryListAislesKey));
}

void SettingsController::groceryAisleChanged(std::size_t index) {
    if (index > 1) {
        return;
    }
    setBooleanFromMenu(kGroceryListAislesKey, index);
    if (m_delegate) {
        m_delegate->setSortGroceryListByAisles(index == 0);
    }
}

std::size_t SettingsController::groceryConsolidationIndex() const {
    return yesNoIndex(m_library.settings().boolean(kGroceryListConsolidationKey));
}

void SettingsController::groceryConsolidateChanged(std::size_t index) {
    if (index > 1) {
        return;
    }
    setBooleanFromMenu(kGroceryListConsolidationKey, index);
    if (m_delegate) {
        m_delegate->setConsolidateGroceryList(index == 0);
    }
}

// --- Cloud Sync ---

void SettingsController::setPage(CloudSyncPage page) {
    m_page = page;
    if (m_delegate) {
        m_delegate->cloudSyncChanged();
    }
}

SettingsController::CloudSyncPage SettingsController::cloudSyncPage() const {
    if (m_sync.isLoggedIn()) {
        return CloudSyncPage::ManageSync;
    }
    return m_page == CloudSyncPage::ManageSync ? CloudSyncPage::Login : m_page;
}

void SettingsController::showCreateAccountPage() {
    if (!m_sync.isLoggedIn()) {
        setPage(CloudSyncPage::CreateAccount);
    }
}

void SettingsController::showLoginPage() {
    if (!m_sync.isLoggedIn()) {
        setPage(CloudSyncPage::Login);
    }
}

std::string SettingsController::accountEmail() const {
    return m_library.settings().text(kAccountEmailKey);
}

std::string SettingsController::lastSyncedText() const {
    if (auto stored = m_library.settings().string(kLastSyncedDateKey)) {
        if (auto moment = parseDateText(*stored)) {
            return mediumDateTimeText(*moment);
        }
    }
    return tr("Never");
}

std::string SettingsController::statusText() const {
    if (auto error = m_library.settings().string(kSyncErrorKey)) {
        return *error;
    }
    return tr("Success");
}

std::vector<std::string> SettingsController::syncModeItems() {
    const auto& manager = LocalizedSettingsManager::sharedManager();
    std::vector<std::string> items;
    for (const char* mode : kSyncModes) {
        items.push_back(manager.localizedWifiSettingForSetting(mode));
    }
    return items;
}

std::size_t SettingsController::syncModeIndex() const {
    const std::string stored = m_library.settings().text(kSyncUpdateKey);
    // "WiFi Only" works as "Automatically", and so does any value the file should not hold.
    return stored == kSyncModes[0] ? 0 : 1;
}

void SettingsController::syncUpdateChanged(std::size_t index) {
    if (index >= kSyncModes.size()) {
        return;
    }
    // A stored "WiFi Only" already syncs automatically: choosing "Automatically" keeps it.
    if (index == 1 && m_library.settings().text(kSyncUpdateKey) == kWifiOnly) {
        return;
    }
    m_sync.syncUpdateChanged(kSyncModes[index]);
}

std::string SettingsController::syncNowTitle() const {
    return isSyncing() ? tr("Syncing...") : tr("Sync Now");
}

AccountFlow::Done SettingsController::signedIn(AccountFlow::Done done) {
    std::weak_ptr<bool> alive = m_alive;
    return [this, alive, done = std::move(done)](const AccountAlert& alert, bool succeeded) {
        if (succeeded && !alive.expired()) {
            setPage(CloudSyncPage::ManageSync);
        }
        if (done) {
            done(alert, succeeded);
        }
    };
}

std::optional<AccountAlert> SettingsController::login(const std::string& email,
                                                      const std::string& password,
                                                      AccountFlow::Done done) {
    return m_flow.login(email, password, signedIn(std::move(done)));
}

std::optional<AccountAlert> SettingsController::createAccount(const std::string& email,
                                                              const std::string& password,
                                                              const std::string& confirmation,
                                                              AccountFlow::Done done) {
    return m_flow.createAccount(email, password, confirmation, signedIn(std::move(done)));
}

std::vector<std::string> SettingsController::logoutButtons() {
    return {tr("Logout"), tr("Cancel")};
}

AccountAlert SettingsController::logoutConfirmed() {
    m_sync.logout();
    setPage(CloudSyncPage::Login);
    return {tr("Logged Out"), tr("You have successfully logged out.")};
}

std::string SettingsController::serviceAddress() const {
    return m_service.baseUrl();
}

std::string SettingsController::serviceAddressWarning() const {
    return miravel::serviceAddressWarning(m_service.baseUrl());
}

bool SettingsController::serviceAddressChanged(const std::string& address) {
    return changeServiceAddress(m_library.settings(), address);
}

bool changeServiceAddress(UserSettings& settings, const std::string& address) {
    const std::string trimmed(trimCharacters(address, kWhiteSpace));
    if (trimmed.empty() || trimmed == kDefaultServiceBaseUrl) {
        if (!settings.hasValue(kServiceBaseUrlKey)) {
            return false;
        }
        settings.remove(kServiceBaseUrlKey);
        return true;
    }
    if (settings.string(kServiceBaseUrlKey) == trimmed) {
        return false;
    }
    settings.setString(kServiceBaseUrlKey, trimmed);
    return true;
}

std::string SettingsController::passwordStorageText() const {
    const std::string_view backend = m_keychain.backendName();
    if (backend == "Secret Service") {
        return tr("Your password is kept in the desktop's keyring (Secret Service).");
    }
    constexpr std::string_view kFilePrefix = "file ";
    if (backend.starts_with(kFilePrefix)) {
        std::string text =
            tr("No keyring answers on this desktop: your password is kept in the file %@, "
               "readable only by you.");
        if (auto at = text.find("%@"); at != std::string::npos) {
            text.replace(at, 2, backend.substr(kFilePrefix.size()));
        }
        return text;
    }
    return tr("Your password is kept in memory only, until the program ends.");
}

AccountAlert SettingsController::forgotPasswordAlert() {
    return {tr("Forgot Password?"), tr("Your server's operator can set a new password with "
                                       "\"miravel-server account reset-password EMAIL\".")};
}

int SettingsController::fontSizeForName(std::string_view name) {
    return LocalizedSettingsManager::sharedManager().fontSizeForSetting(name);
}

int SettingsController::currentFontSize() const {
    return fontSizeForName(m_library.settings().text(kFontSizeKey));
}

}  // namespace miravel
