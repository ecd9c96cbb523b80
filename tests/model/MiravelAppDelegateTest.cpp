#include "model/MiravelAppDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/AutomaticBackups.h"
#include "model/Bookmark.h"
#include "model/LibraryBackup.h"
#include "model/MemoryKeychain.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

// Records what the application asks its front end to do.
class RecordingHooks : public ApplicationHooks {
public:
    bool presentError(const Error& error) override {
        events.push_back("error: " + error.description);
        return recoverFromErrors;
    }
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override {
        throw std::runtime_error("fatal: " + error.description);
    }
    void showAlert(const std::string& message, const std::string&, const std::string&) override {
        events.push_back("alert: " + message);
    }
    bool commitEditing() override { return canCommit; }
    void showWelcomeWindow() override { events.push_back("welcome"); }
    void showMainWindow() override { events.push_back("main"); }
    void showMigrationWindow() override { events.push_back("migration"); }
    void showRecipeForFile(const std::filesystem::path& path) override {
        events.push_back("open " + path.filename().string());
    }
    void showNotice(const std::string& text) override { notices.push_back(text); }

    std::vector<std::string> notices;

    std::vector<std::string> events;
    bool recoverFromErrors = false;
    bool canCommit = true;
};

class MiravelAppDelegateTest : public ::testing::Test {
protected:
    std::unique_ptr<MiravelAppDelegate> start() {
        auto application = std::make_unique<MiravelAppDelegate>(
            m_home / "Library" / "Miravel", m_settings, m_keychain, m_hooks,
            IngredientParser::sharedParser(), m_center, MainQueue::shared());
        application->applicationDidFinishLaunching();
        return application;
    }
    std::vector<std::shared_ptr<Bookmark>> bookmarks(MiravelAppDelegate& application) {
        return *application.managedObjectContext()->fetch<Bookmark>();
    }

    NotificationCenter m_center;
    TemporaryFolder m_home;
    UserSettings m_settings{m_home / "config" / "Settings.json"};
    MemoryKeychain m_keychain;
    RecordingHooks m_hooks;
};

TEST_F(MiravelAppDelegateTest, firstStartCreatesTheLibraryAndShowsTheWelcomeWindow) {
    auto application = start();
    EXPECT_TRUE(std::filesystem::is_directory(m_home / "Library" / "Miravel"));
    EXPECT_TRUE(std::filesystem::exists(m_home / "Library" / "Miravel" / "Miravel.sqlite"));
    EXPECT_EQ(m_hooks.events, std::vector<std::string>{"welcome"});
    EXPECT_TRUE(m_settings.boolean(kWelcomeDisplayedKey));
    EXPECT_TRUE(m_settings.boolean(kBookmarksInsertedKey));
    EXPECT_TRUE(m_settings.hasValue(kFontSizeKey));
    auto inserted = bookmarks(*application);
    ASSERT_FALSE(inserted.empty());
    for (const auto& bookmark : inserted) {
        EXPECT_EQ(bookmark->status(), "modified");
        EXPECT_TRUE(bookmark->title().has_value());
        EXPECT_TRUE(bookmark->url().value_or("").starts_with("https://"));
    }
    EXPECT_TRUE(application->initialized());
    EXPECT_FALSE(application->isLoggedIn());
}

// With the windows up, an automatic backup follows start-up on a thread of its own, and the
// hourly check is scheduled; with the setting off, none is written.
TEST_F(MiravelAppDelegateTest, startUpTakesAnAutomaticBackupUnlessTurnedOff) {
    const auto backups = m_home / "Library" / "Backups";
    {
        auto application = start();
        ASSERT_TRUE(MainQueue::shared().runUntil(
            [&] { return !application->automaticBackupRunning(); }, std::chrono::seconds(20)));
        const auto kept = backupsIn(backups);
        ASSERT_EQ(kept.size(), 1U);
        EXPECT_TRUE(kept[0].automatic);
        EXPECT_EQ(recipesInBackup(kept[0].file), std::optional<std::size_t>(0));
        EXPECT_TRUE(m_hooks.notices.empty());
    }
    std::filesystem::remove_all(backups);
    m_settings.setBoolean(kAutomaticBackupsKey, false);
    auto application = start();
    EXPECT_FALSE(application->automaticBackupRunning());
    EXPECT_TRUE(backupsIn(backups).empty());
}

TEST_F(MiravelAppDelegateTest, secondStartShowsTheMainWindowAndInsertsNoBookmarks) {
    {
        auto first = start();
        auto* context = first->managedObjectContext();
        for (const auto& bookmark : bookmarks(*first)) {
            context->deleteObject(bookmark);  // the user removed them all
        }
        ASSERT_TRUE(context->save());
    }
    m_hooks.events.clear();
    auto second = start();
    EXPECT_EQ(m_hooks.events, std::vector<std::string>{"main"});
    EXPECT_TRUE(bookmarks(*second).empty());
}

TEST_F(MiravelAppDelegateTest, aFileWhereTheFolderShouldBeIsReportedAndNoStoreOpens) {
    std::filesystem::create_directories(m_home / "Library");
    std::ofstream(m_home / "Library" / "Miravel") << "not a folder";
    auto application = start();
    const std::string expected =
        "error: Expected a folder to store application data, found a file (" +
        (m_home / "Library" / "Miravel").string() + ").";
    EXPECT_EQ(std::count(m_hooks.events.begin(), m_hooks.events.end(), expected), 1);
    EXPECT_EQ(application->managedObjectContext(), nullptr);
    EXPECT_EQ(application->applicationShouldTerminate(), MiravelAppDelegate::TerminateReply::Now);
}

TEST_F(MiravelAppDelegateTest, signedInNeedsBothTheAccountAndItsPassword) {
    m_settings.setString(kAccountEmailKey, "cook@example.com");
    EXPECT_FALSE(start()->isLoggedIn());  // no password in the keychain
    ASSERT_TRUE(m_keychain.addGenericKeychainItemForService(kApplicationIdentifier,
                                                            "cook@example.com", "secret"));
    EXPECT_TRUE(start()->isLoggedIn());
    m_settings.remove(kAccountEmailKey);
    EXPECT_FALSE(start()->isLoggedIn());
}

TEST_F(MiravelAppDelegateTest, filesOpenedDuringStartUpWaitUntilItFinishes) {
    MiravelAppDelegate application(m_home / "Library" / "Miravel", m_settings, m_keychain, m_hooks,
                                   IngredientParser::sharedParser(), m_center, MainQueue::shared());
    EXPECT_TRUE(application.applicationOpenFile("/tmp/Early.miravelrecipe"));
    EXPECT_TRUE(m_hooks.events.empty());
    application.applicationDidFinishLaunching();
    EXPECT_EQ(m_hooks.events.back(), "open Early.miravelrecipe");
    EXPECT_FALSE(application.filenameToOpen().has_value());
    EXPECT_TRUE(application.applicationOpenFile("/tmp/Later.miravelrecipe"));
    EXPECT_EQ(m_hooks.events.back(), "open Later.miravelrecipe");
}

TEST_F(MiravelAppDelegateTest, quittingSavesPendingEditsOrSaysWhyNot) {
    auto application = start();
    auto* context = application->managedObjectContext();
    context->insert<Recipe>()->setName("Unsaved");
    m_hooks.canCommit = false;
    EXPECT_EQ(application->applicationShouldTerminate(),
              MiravelAppDelegate::TerminateReply::Cancel);
    m_hooks.canCommit = true;
    EXPECT_EQ(application->applicationShouldTerminate(), MiravelAppDelegate::TerminateReply::Now);
    EXPECT_FALSE(context->hasChanges());

    auto reopened = std::make_unique<MiravelAppDelegate>(
        m_home / "Library" / "Miravel", m_settings, m_keychain, m_hooks,
        IngredientParser::sharedParser(), m_center, MainQueue::shared());
    EXPECT_EQ(reopened->managedObjectContext()->fetch<Recipe>()->size(), 1u);
}

}  // namespace
}  // namespace miravel
