#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

#include "SyncTestSupport.h"
#include "model/FileKeychain.h"
#include "sync/SettingsController.h"
#include "sync/SyncController.h"
#include "sync/WelcomeController.h"

namespace miravel::testing {

namespace {

// What the window was told to change.
struct RecordingDelegate : SettingsControllerDelegate {
    std::vector<std::string> calls;
    void setAlphabetizeCategories(bool on) override {
        calls.push_back(std::string("alphabetize ") + (on ? "yes" : "no"));
    }
    void setSortGroceryListByAisles(bool on) override {
        calls.push_back(std::string("aisles ") + (on ? "yes" : "no"));
    }
    void setConsolidateGroceryList(bool on) override {
        calls.push_back(std::string("consolidate ") + (on ? "yes" : "no"));
    }
    void automaticBackupsChanged(bool on) override {
        calls.push_back(std::string("backups ") + (on ? "yes" : "no"));
    }
    void cloudSyncChanged() override { ++redraws; }
    int redraws = 0;
};

class SettingsControllerTest : public ::testing::Test {
protected:
    SettingsControllerTest() {
        m_device.m_settings->configureDefaults();
        m_sync = std::make_unique<SyncController>(*m_device.m_library, *m_device.m_service,
                                                  m_device.m_keychain);
        m_settings = std::make_unique<SettingsController>(
            *m_device.m_library, *m_sync, *m_device.m_service, m_device.m_keychain, &m_delegate);
    }
    ~SettingsControllerTest() override {
        m_settings.reset();
        m_sync.reset();
    }
    UserSettings& stored() { return *m_device.m_settings; }
    // How often a notification was posted while `change` ran.
    int postsOf(std::string_view name, const std::function<void()>& change) {
        int posts = 0;
        auto observation =
            m_device.m_center.addObserver(name, nullptr, [&](const Notification&) { ++posts; });
        change();
        return posts;
    }

    TemporaryFolder m_folder;
    Device m_device{m_folder.path(), "settings"};
    RecordingDelegate m_delegate;
    std::unique_ptr<SyncController> m_sync;
    std::unique_ptr<SettingsController> m_settings;
};

}  // namespace

TEST_F(SettingsControllerTest, PanesAreNumberedGeneralCloudSyncGroceryList) {
    EXPECT_EQ(m_settings->selectedPane(), "general");
    const std::pair<int, std::string> panes[] = {
        {1, "cloudsync"}, {2, "grocerylist"}, {0, "general"}, {3, "general"}, {-1, "general"}};
    for (const auto& [number, identifier] : panes) {
        m_settings->showPane(number);
        EXPECT_EQ(m_settings->selectedPane(), identifier) << "showPane " << number;
    }
    m_settings->tabChanged("grocerylist");
    EXPECT_EQ(m_settings->selectedPaneIndex(), 2);
    m_settings->tabChanged("advanced");
    EXPECT_EQ(m_settings->selectedPane(), "grocerylist") << "an unknown toolbar item is ignored";
    EXPECT_EQ(SettingsController::paneLabel("cloudsync"), "Cloud Sync");
    EXPECT_EQ(SettingsController::paneLabel("grocerylist"), "Grocery List");
}

TEST_F(SettingsControllerTest, MenusStoreTheirValueAndReachTheListsAtOnce) {
    EXPECT_EQ(SettingsController::yesNoItems(), (std::vector<std::string>{"Yes", "No"}));
    // Defaults: every switch on, so every menu shows "Yes".
    EXPECT_EQ(m_settings->alphabetizeCategoriesIndex(), 0U);
    EXPECT_EQ(m_settings->groceryAislesIndex(), 0U);
    EXPECT_EQ(m_settings->groceryConsolidationIndex(), 0U);

    m_settings->alphabetizeCategoriesChanged(1);
    m_settings->groceryAisleChanged(1);
    m_settings->groceryConsolidateChanged(1);
    m_settings->groceryConsolidateChanged(0);
    m_settings->groceryAisleChanged(7);  // no such item: nothing happens
    EXPECT_FALSE(stored().boolean(kAlphabetizeCategoriesKey));
    EXPECT_FALSE(stored().boolean(kGroceryListAislesKey));
    EXPECT_TRUE(stored().boolean(kGroceryListConsolidationKey));
    EXPECT_EQ(m_delegate.calls, (std::vector<std::string>{"alphabetize no", "aisles no",
                                                          "consolidate no", "consolidate yes"}));
    EXPECT_EQ(m_settings->alphabetizeCategoriesIndex(), 1U);

    // Written through: another reader of the file sees the change.
    UserSettings reread(stored().file());
    EXPECT_FALSE(reread.boolean(kAlphabetizeCategoriesKey));
}

TEST_F(SettingsControllerTest, FontSizeStoresTheEnglishKeyAndNotifiesOnce) {
    EXPECT_EQ(SettingsController::fontSizeItems(),
              (std::vector<std::string>{"Tiny", "Small", "Medium", "Large", "Extra Large"}));
    EXPECT_EQ(m_settings->fontSizeIndex(), 1U) << "\"Small\" by default";
    EXPECT_EQ(
        postsOf(kSettingsFontSizeChangedNotification, [&] { m_settings->fontSizeChanged(4); }), 1);
    EXPECT_EQ(stored().text(kFontSizeKey), "Extra Large");
    EXPECT_EQ(m_settings->currentFontSize(), 21);
    EXPECT_EQ(
        postsOf(kSettingsFontSizeChangedNotification, [&] { m_settings->fontSizeChanged(9); }), 0);

    stored().setString(kFontSizeKey, "Gigantic");
    EXPECT_EQ(m_settings->fontSizeIndex(), 1U) << "an unknown size reads, and shows, as Small";
    EXPECT_EQ(m_settings->currentFontSize(), 15);
}

TEST_F(SettingsControllerTest, WeekStartsOnStoresTheIndexPlusOne) {
    const auto days = SettingsController::weekdayItems();
    ASSERT_EQ(days.size(), 7U);
    EXPECT_EQ(days.front(), "Sunday");
    EXPECT_EQ(days.back(), "Saturday");

    EXPECT_EQ(postsOf(kWeekStartDayChangedNotification, [&] { m_settings->dayOfWeekChanged(1); }),
              1);
    EXPECT_EQ(stored().integer(kWeekStartDayKey), 2) << "Monday";
    EXPECT_EQ(m_settings->weekStartDayIndex(), 1U);
    EXPECT_EQ(postsOf(kWeekStartDayChangedNotification, [&] { m_settings->dayOfWeekChanged(1); }),
              0)
        << "the same day again changes nothing";
    m_settings->dayOfWeekChanged(7);
    EXPECT_EQ(stored().integer(kWeekStartDayKey), 2) << "there is no eighth day";

    stored().setInteger(kWeekStartDayKey, 12);
    EXPECT_EQ(m_settings->weekStartDayIndex(), static_cast<std::size_t>(localeFirstWeekday() - 1));
}

TEST_F(SettingsControllerTest, TextFieldsAreWrittenOnlyWhenTheyDiffer) {
    const std::string home = m_settings->homePage();
    EXPECT_EQ(home, kDefaultRecipeSitesUrl);
    EXPECT_FALSE(m_settings->saveSettings(home, ""));
    EXPECT_TRUE(m_settings->saveSettings("not even an address ", "cook@example.org"));
    EXPECT_EQ(stored().text(kDefaultUrlKey), "not even an address ") << "stored as typed";
    EXPECT_EQ(m_settings->defaultRecipient(), "cook@example.org");
    EXPECT_FALSE(m_settings->saveSettings("not even an address ", "cook@example.org"));
    // An empty field is a value too: the default does not come back over it.
    EXPECT_TRUE(m_settings->saveSettings("", "cook@example.org"));
    stored().configureDefaults();
    EXPECT_EQ(stored().string(kDefaultUrlKey), "");
}

TEST_F(SettingsControllerTest, AutomaticBackupsAndTheirFolder) {
    EXPECT_EQ(m_settings->automaticBackupsIndex(), 0U);
    m_settings->automaticBackupsChanged(0);
    EXPECT_TRUE(m_delegate.calls.empty()) << "choosing what is stored sets nothing off";
    m_settings->automaticBackupsChanged(1);
    m_settings->automaticBackupsChanged(0);
    EXPECT_EQ(m_delegate.calls, (std::vector<std::string>{"backups no", "backups yes"}));

    EXPECT_TRUE(m_settings->backupsFolderIsDefault());
    EXPECT_EQ(m_settings->backupsFolder(), m_folder.path() / "Backups")
        << "beside the library folder";
    m_settings->backupsFolderChanged(m_folder.path() / "elsewhere" / ".." / "kept");
    EXPECT_EQ(m_settings->backupsFolder(), m_folder.path() / "kept");
    EXPECT_FALSE(m_settings->backupsFolderIsDefault());
    m_settings->backupsFolderChanged("relative");
    EXPECT_TRUE(m_settings->backupsFolder().is_absolute());
    m_settings->backupsFolderChanged({});
    EXPECT_FALSE(stored().hasValue(kBackupsFolderKey));
    EXPECT_EQ(m_settings->backupsFolder(), m_folder.path() / "Backups");
}

TEST_F(SettingsControllerTest, ScheduleMenuOffersTwoModesAndWifiOnlyStays) {
    EXPECT_EQ(SettingsController::syncModeItems(),
              (std::vector<std::string>{"Manually", "Automatically"}));
    EXPECT_EQ(m_settings->syncModeIndex(), 1U);

    m_settings->syncUpdateChanged(0);
    EXPECT_EQ(stored().text(kSyncUpdateKey), "Manually");
    EXPECT_FALSE(m_sync->hasSyncTimer());
    m_settings->syncUpdateChanged(1);
    EXPECT_EQ(stored().text(kSyncUpdateKey), "Automatically");
    EXPECT_TRUE(m_sync->hasSyncTimer()) << "away from Manually starts the timer";
    m_settings->syncUpdateChanged(0);
    EXPECT_FALSE(m_sync->hasSyncTimer());

    stored().setString(kSyncUpdateKey, "WiFi Only");
    EXPECT_EQ(m_settings->syncModeIndex(), 1U) << "shown as Automatically";
    m_settings->syncUpdateChanged(1);
    EXPECT_EQ(stored().text(kSyncUpdateKey), "WiFi Only");
    m_settings->syncUpdateChanged(0);
    EXPECT_EQ(stored().text(kSyncUpdateKey), "Manually");
}

TEST_F(SettingsControllerTest, LastSyncedAndStatusTexts) {
    EXPECT_EQ(m_settings->lastSyncedText(), "Never");
    EXPECT_EQ(m_settings->statusText(), "Success");
    stored().setString(kLastSyncedDateKey, "2026-12-07 14:05:09");
    const std::string shown = m_settings->lastSyncedText();
    EXPECT_NE(shown.find("2026"), std::string::npos) << shown;
    EXPECT_NE(shown.find("05"), std::string::npos) << shown << ": the time is shown too";
    stored().setString(kLastSyncedDateKey, "yesterday");
    EXPECT_EQ(m_settings->lastSyncedText(), "Never") << "an unreadable date is no date";
    stored().setString(kSyncErrorKey, "The server could not be reached.");
    EXPECT_EQ(m_settings->statusText(), "The server could not be reached.");
}

TEST_F(SettingsControllerTest, ServiceAddressIsTrimmedAndWarnsAboutPlainHttp) {
    EXPECT_EQ(m_settings->serviceAddress(), kDefaultServiceBaseUrl);
    EXPECT_EQ(m_settings->serviceAddressWarning(), "");
    EXPECT_FALSE(m_settings->serviceAddressChanged(kDefaultServiceBaseUrl));
    EXPECT_FALSE(stored().hasValue(kServiceBaseUrlKey));

    EXPECT_TRUE(m_settings->serviceAddressChanged("  http://recipes.example.org/ \n"));
    EXPECT_EQ(stored().text(kServiceBaseUrlKey), "http://recipes.example.org/");
    EXPECT_EQ(m_settings->serviceAddress(), "http://recipes.example.org");
    EXPECT_FALSE(m_settings->serviceAddressWarning().empty());
    EXPECT_FALSE(m_settings->serviceAddressChanged("http://recipes.example.org/"));

    EXPECT_TRUE(m_settings->serviceAddressChanged("https://recipes.example.org"));
    EXPECT_EQ(m_settings->serviceAddressWarning(), "");
    EXPECT_TRUE(m_settings->serviceAddressChanged("   "));
    EXPECT_FALSE(stored().hasValue(kServiceBaseUrlKey)) << "empty goes back to the default";
}

TEST_F(SettingsControllerTest, SaysWhereThePasswordIsKept) {
    EXPECT_NE(m_settings->passwordStorageText().find("memory"), std::string::npos);
    FileKeychain file(m_folder.path() / "config");
    SettingsController withFile(*m_device.m_library, *m_sync, *m_device.m_service, file);
    const std::string text = withFile.passwordStorageText();
    EXPECT_NE(text.find(file.filePath().string()), std::string::npos) << text;
    EXPECT_EQ(text.find("%@"), std::string::npos) << text;
}

// The Cloud Sync pane against a real server: login switches to the signed-in page, a sync
// started there shows "Syncing...", logout asks and returns to the login page.
class CloudSyncPaneTest : public SyncTest {};

TEST_F(CloudSyncPaneTest, LoginSyncNowAndLogout) {
    Device device(m_folder.path(), "pane");
    device.m_settings->configureDefaults();
    device.m_settings->setString(kSyncUpdateKey, "Manually");
    SyncController sync(*device.m_library, *device.m_service, device.m_keychain);
    RecordingDelegate delegate;
    SettingsController pane(*device.m_library, sync, *device.m_service, device.m_keychain,
                            &delegate);
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::Login);
    pane.showCreateAccountPage();
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::CreateAccount);
    pane.showLoginPage();
    EXPECT_TRUE(pane.serviceAddressChanged(m_server->url()));

    auto refused = pane.login("cook@example.org", "", {});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, "Please enter a password.");

    std::optional<AccountAlert> answer;
    bool succeeded = false;
    auto wrong =
        pane.login("cook@example.org", "wrong password", [&](const AccountAlert& alert, bool ok) {
            answer = alert;
            succeeded = ok;
        });
    EXPECT_FALSE(wrong);
    EXPECT_TRUE(pane.accountRequestRunning());
    device.m_queue.runUntil([&] { return answer.has_value(); }, std::chrono::seconds(30));
    ASSERT_TRUE(answer);
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(answer->title, "Error Logging In");
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::Login);

    answer.reset();
    EXPECT_FALSE(pane.login("cook@example.org", kPassword, [&](const AccountAlert& alert, bool ok) {
        // The page has changed before the alert is shown.
        EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::ManageSync);
        answer = alert;
        succeeded = ok;
    }));
    device.m_queue.runUntil([&] { return answer.has_value(); }, std::chrono::seconds(30));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(*answer, (AccountAlert{"Success", "You are now logged in."}));
    EXPECT_EQ(pane.accountEmail(), "cook@example.org");
    EXPECT_FALSE(sync.hasSyncTimer()) << "the schedule is manual";

    device.addRecipe("Lentil soup");
    device.save();
    const int before = delegate.redraws;
    ASSERT_TRUE(pane.syncNowPressed());
    EXPECT_EQ(pane.syncNowTitle(), "Syncing...");
    EXPECT_FALSE(pane.syncNowEnabled());
    EXPECT_FALSE(pane.syncNowPressed()) << "a second press while one runs is dropped";
    sync.waitForSync();
    device.m_queue.processPending();
    EXPECT_EQ(pane.syncNowTitle(), "Sync Now");
    EXPECT_GE(delegate.redraws, before + 2) << "started and finished both redraw the pane";
    EXPECT_EQ(pane.statusText(), "Success");
    EXPECT_NE(pane.lastSyncedText(), "Never");

    EXPECT_EQ(SettingsController::logoutButtons(), (std::vector<std::string>{"Logout", "Cancel"}));
    EXPECT_EQ(pane.logoutConfirmed(),
              (AccountAlert{"Logged Out", "You have successfully logged out."}));
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::Login);
    EXPECT_FALSE(sync.isLoggedIn());
    EXPECT_FALSE(device.m_settings->hasValue(kAccountEmailKey));
    auto item =
        device.m_keychain.genericKeychainItemForService(kApplicationIdentifier, "cook@example.org");
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->has_value()) << "the password is gone from the keychain";
}

TEST_F(CloudSyncPaneTest, WelcomePagesAndALoginThatMovesOn) {
    Device device(m_folder.path(), "welcome");
    device.m_settings->configureDefaults();
    SyncController sync(*device.m_library, *device.m_service, device.m_keychain);
    WelcomeController welcome(*device.m_library, sync, *device.m_service);
    using Page = WelcomeController::Page;
    EXPECT_EQ(welcome.page(), Page::Welcome);
    EXPECT_FALSE(welcome.canGoBack());
    welcome.back();
    EXPECT_EQ(welcome.page(), Page::Welcome);
    welcome.next();
    EXPECT_EQ(welcome.page(), Page::CloudSync);
    EXPECT_NE(welcome.message().find("later"), std::string::npos) << "signing in can wait";
    EXPECT_TRUE(welcome.serviceAddressChanged(m_server->url() + " "));
    EXPECT_EQ(welcome.serviceAddress(), m_server->url());

    std::optional<AccountAlert> answer;
    EXPECT_FALSE(welcome.login("cook@example.org", kPassword, [&](const AccountAlert& alert, bool) {
        EXPECT_EQ(welcome.page(), Page::Finished) << "on to the next page before the alert";
        answer = alert;
    }));
    device.m_queue.runUntil([&] { return answer.has_value(); }, std::chrono::seconds(30));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->title, "Success");
    EXPECT_TRUE(welcome.isLastPage());
    SettingsController pane(*device.m_library, sync, *device.m_service, device.m_keychain);
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::ManageSync);
    sync.logout();
    EXPECT_EQ(pane.cloudSyncPage(), SettingsController::CloudSyncPage::Login)
        << "the pane follows a sign-out made elsewhere";
    ASSERT_FALSE(welcome.login("cook@example.org", kPassword, {}));
    device.m_queue.runUntil([&] { return sync.isLoggedIn(); }, std::chrono::seconds(30));
    welcome.next();
    EXPECT_TRUE(welcome.isLastPage());
    welcome.back();
    EXPECT_NE(welcome.message().find("signed in"), std::string::npos);
    EXPECT_TRUE(sync.hasSyncTimer()) << "the schedule is automatic by default";
}

}  // namespace miravel::testing
