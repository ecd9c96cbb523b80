#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/AutomaticBackups.h"
#include "model/Bookmark.h"
#include "model/LibraryBackup.h"
#include "model/MemoryKeychain.h"
#include "model/MigrationController.h"
#include "model/MiravelAppDelegate.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"
#include "store/Database.h"
#include "store/StoreConversion.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

std::string bytesOf(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    return bytes ? *bytes : std::string("<unreadable>");
}

// Today's entities as layout 2, and the step from the earlier layout of the fixture.
const ManagedObjectModel& secondLayout() {
    static const ManagedObjectModel model("Miravel", 2, miravelObjectModel().entities());
    return model;
}

const char* kFromFirstLayout =
    "ALTER TABLE \"Recipe\" ADD COLUMN \"photoHash\" TEXT;"
    "CREATE TABLE \"Bookmark\" (id INTEGER PRIMARY KEY, \"uid\" TEXT, \"title\" TEXT,"
    " \"url\" TEXT, \"orderFlag\" INTEGER, \"status\" TEXT);"
    "CREATE INDEX \"Bookmark_status\" ON \"Bookmark\" (status);"
    "CREATE INDEX \"Bookmark_uid\" ON \"Bookmark\" (uid);";

ModelVersions testVersions() {
    return {&secondLayout(), {{1, kFromFirstLayout}}};
}

// A store of the earlier layout, written from the fixture.
void writeEarlierStore(const std::filesystem::path& store) {
    std::filesystem::create_directories(store.parent_path());
    auto sql = readFile(std::filesystem::path(MIRAVEL_TEST_DATA) / "model" / "earlier-layout.sql");
    ASSERT_TRUE(sql) << sql.error().description;
    auto database = Database::open(store, Database::Access::ReadWriteCreate);
    ASSERT_TRUE(database);
    auto done = database->execute(*sql);
    ASSERT_TRUE(done) << done.error().description;
}

std::int64_t integerOf(const std::filesystem::path& store, const std::string& sql) {
    auto database = Database::open(store, Database::Access::ReadOnly);
    EXPECT_TRUE(database);
    auto statement = database->prepare(sql);
    EXPECT_TRUE(statement) << sql;
    if (!statement) {
        return -1;
    }
    auto row = statement->step();
    return row && *row ? statement->columnInt64(0) : -1;
}

void setUserVersion(const std::filesystem::path& store, int version) {
    auto database = Database::open(store, Database::Access::ReadWrite);
    ASSERT_TRUE(database->execute("PRAGMA user_version=" + std::to_string(version)));
}

// --- The progress window -------------------------------------------------------------

class MigrationControllerTest : public ::testing::Test {
protected:
    MigrationController m_window{m_queue,
                                 {[this](int status) { quitStatus = status; },
                                  [this](const std::string& url) { openedUrl = url; }}};
    MainQueue m_queue;
    int quitStatus = -1;
    std::string openedUrl;
};

TEST_F(MigrationControllerTest, conversionModeShowsDeterminateProgress) {
    m_window.showMigrationState();
    EXPECT_EQ(m_window.view().title, "Miravel Recipe Manager");
    EXPECT_EQ(m_window.view().progressText, "Upgrading database... please wait.");
    EXPECT_TRUE(m_window.view().determinate);
    EXPECT_FALSE(m_window.view().buttonsVisible);
    EXPECT_TRUE(m_window.view().modal);

    m_window.updateProgressBar(0.425);
    EXPECT_EQ(m_window.view().progressValue, 43);
    EXPECT_EQ(m_window.view().progressText, "Upgrading database... 42% complete");

    m_window.finishMigration();
    EXPECT_EQ(m_window.view().progressText, "Migration complete.");
    EXPECT_FALSE(m_window.view().modal);
    EXPECT_TRUE(m_window.view().closed);
}

TEST_F(MigrationControllerTest, percentagesRoundAsTheFormatterDoes) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0.0, "0%"},     {0.425, "42%"}, {0.435, "44%"}, {0.5, "50%"},
        {0.999, "100%"}, {1.0, "100%"},  {0.015, "2%"},
    };
    for (const auto& [fraction, text] : cases) {
        EXPECT_EQ(MigrationController::percentText(fraction), text) << fraction;
    }
    // Out-of-range fractions never draw past the bar's ends.
    m_window.updateProgressBar(1.7);
    EXPECT_EQ(m_window.view().progressValue, 100);
    m_window.updateProgressBar(-0.2);
    EXPECT_EQ(m_window.view().progressValue, 0);
}

TEST_F(MigrationControllerTest, progressFromAnotherThreadArrivesOnTheMainQueue) {
    m_queue.adoptCurrentThreadAsMain();
    m_window.showMigrationState();
    std::thread([&] { m_window.setProgress(0.75); }).join();
    EXPECT_EQ(m_window.view().progressValue, 0);
    m_queue.processPending();
    EXPECT_EQ(m_window.view().progressValue, 75);
}

TEST_F(MigrationControllerTest, progressPostedForAWindowAlreadyGoneIsDropped) {
    m_queue.adoptCurrentThreadAsMain();
    {
        MigrationController window(m_queue, {});
        window.setProgress(0.5);
    }
    EXPECT_EQ(m_queue.processPending(), 1U);  // ran, and touched nothing
}

TEST_F(MigrationControllerTest, errorModeOffersOnlyQuitAndBugReport) {
    m_window.showMigrationState();
    m_window.showErrorMessage("Migration error. Source model could not be located.");
    EXPECT_EQ(m_window.mode(), MigrationController::Mode::Error);
    EXPECT_EQ(m_window.errorMessage(), "Migration error. Source model could not be located.");
    EXPECT_EQ(m_window.view().title, "Error");
    EXPECT_EQ(m_window.view().progressText, "Migration error. Source model could not be located.");
    EXPECT_FALSE(m_window.view().indicatorVisible);
    EXPECT_TRUE(m_window.view().cautionImage);
    EXPECT_TRUE(m_window.view().buttonsVisible);
    EXPECT_FALSE(m_window.view().modal);
    // A late progress report does not hide the error.
    m_window.updateProgressBar(0.9);
    EXPECT_EQ(m_window.view().title, "Error");

    m_window.sendBugReport();
    EXPECT_FALSE(openedUrl.empty());
    m_window.quitMiravel();
    EXPECT_EQ(quitStatus, 0);
}

TEST_F(MigrationControllerTest, restoreModeIsIndeterminate) {
    m_window.showBackupState();
    EXPECT_EQ(m_window.view().progressText, "Restoring from backup... please wait.");
    EXPECT_FALSE(m_window.view().determinate);
    EXPECT_TRUE(m_window.view().animating);
    m_window.finishBackup();
    EXPECT_EQ(m_window.view().progressText, "Restore from backup complete.");
    EXPECT_FALSE(m_window.view().animating);
    EXPECT_FALSE(m_window.view().modal);
}

// --- Converting a store --------------------------------------------------------------

class StoreConversionTest : public ::testing::Test {
protected:
    std::filesystem::path store() const { return m_folder / "Miravel.sqlite"; }
    TemporaryFolder m_folder;
};

TEST_F(StoreConversionTest, earlierLayoutIsConvertedAndTheOriginalKept) {
    writeEarlierStore(store());
    std::vector<double> fractions;
    auto converted =
        convertStore(store(), testVersions(), [&](double f) { fractions.push_back(f); });
    ASSERT_TRUE(converted) << converted.error().description;
    EXPECT_EQ(converted->fromVersion, 1);
    EXPECT_EQ(converted->backup, m_folder / "Miravel.sqlite.version-1");

    EXPECT_EQ(integerOf(store(), "PRAGMA user_version"), 2);
    EXPECT_EQ(integerOf(store(), "SELECT count(*) FROM Recipe WHERE photoHash IS NULL"), 2);
    EXPECT_EQ(integerOf(store(), "SELECT count(*) FROM Bookmark"), 0);
    // Sync statuses and relationships come through as they were.
    EXPECT_EQ(integerOf(store(), "SELECT count(*) FROM Recipe WHERE status = 'unmodified'"), 1);
    EXPECT_EQ(integerOf(store(), "SELECT count(*) FROM RecipeCategories"), 1);
    EXPECT_EQ(integerOf(store(), "SELECT recipe FROM Meal"), 1);

    EXPECT_EQ(integerOf(converted->backup, "PRAGMA user_version"), 1);
    EXPECT_EQ(integerOf(converted->backup, "SELECT count(*) FROM Recipe"), 2);
    EXPECT_FALSE(std::filesystem::exists(conversionTarget(store())));

    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::ranges::is_sorted(fractions));
    EXPECT_EQ(fractions.back(), 1.0);

    auto opened = PersistentStoreCoordinator::open(store(), secondLayout());
    ASSERT_TRUE(opened) << opened.error().description;
    EXPECT_TRUE((*opened)->checkIntegrity());
}

TEST_F(StoreConversionTest, leftoverTargetAndOlderBackupsAreReplaced) {
    writeEarlierStore(store());
    std::ofstream(conversionTarget(store())) << "half a conversion";
    std::ofstream(m_folder / "Miravel.sqlite.version-0") << "an older kept store";
    auto converted = convertStore(store(), testVersions());
    ASSERT_TRUE(converted) << converted.error().description;
    EXPECT_EQ(integerOf(store(), "SELECT count(*) FROM Recipe"), 2);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "Miravel.sqlite.version-0"));
    EXPECT_TRUE(std::filesystem::exists(m_folder / "Miravel.sqlite.version-1"));
}

// Each failure reports its message and leaves the store exactly as it was.
TEST_F(StoreConversionTest, failuresReportTheirMessageAndLeaveTheStore) {
    struct Case {
        std::string what;
        std::function<void()> prepare;
        ModelVersions versions;
        std::string message;
    };
    const ManagedObjectModel third("Miravel", 3, miravelObjectModel().entities());
    const std::vector<Case> cases = {
        {"newer layout", [&] { setUserVersion(store(), 5); }, testVersions(),
         "Migration error. Source model could not be located."},
        {"another program's database",
         [&] {
             auto database = Database::open(store(), Database::Access::ReadWrite);
             ASSERT_TRUE(database->execute("PRAGMA application_id=7"));
         },
         testVersions(), "Migration error. Source model could not be located."},
        {"a step missing", [] {}, ModelVersions{&third, {{1, kFromFirstLayout}}},
         "Migration error. Mapping model could not be inferred."},
        {"a step that fails", [] {}, ModelVersions{&secondLayout(), {{1, "ALTER TABLE Nothing"}}},
         "Migration error. Error during migration: "},
        {"a step that forgets a table", [] {},
         ModelVersions{&secondLayout(), {{1, "ALTER TABLE Recipe ADD COLUMN photoHash TEXT"}}},
         "Migration error. Error during migration: "},
        {"not a database", [&] { std::ofstream(store()) << "no database at all, just text"; },
         testVersions(), "Migration error. Error obtaining source metadata: "},
    };
    for (const auto& test : cases) {
        std::filesystem::remove_all(m_folder.path());
        std::filesystem::create_directories(m_folder.path());
        writeEarlierStore(store());
        test.prepare();
        const std::string before = bytesOf(store());
        auto converted = convertStore(store(), test.versions);
        ASSERT_FALSE(converted) << test.what;
        EXPECT_EQ(converted.error().domain, kConversionErrorDomain) << test.what;
        EXPECT_TRUE(converted.error().description.starts_with(test.message))
            << test.what << ": " << converted.error().description;
        EXPECT_EQ(bytesOf(store()), before) << test.what;
        EXPECT_FALSE(std::filesystem::exists(m_folder / "Miravel.sqlite.version-1")) << test.what;
    }
}

// --- The application object ----------------------------------------------------------

class RecordingHooks : public ApplicationHooks {
public:
    bool presentError(const Error& error) override {
        events.push_back("error: " + error.description);
        return false;
    }
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override {
        throw std::runtime_error("fatal: " + error.description);
    }
    void showWelcomeWindow() override { events.push_back("welcome"); }
    void showMainWindow() override { events.push_back("main"); }
    void showMigrationWindow() override { events.push_back("migration"); }
    void closeMainWindow() override { events.push_back("close main"); }
    void quitApplication(int status) override {
        events.push_back("quit " + std::to_string(status));
    }
    void showAlert(const std::string& message, const std::string& informativeText,
                   const std::string&) override {
        events.push_back("alert: " + message);
        alertTexts.push_back(informativeText);
    }
    void migrationWindowChanged(const MigrationController& window) override {
        if (texts.empty() || texts.back() != window.view().progressText) {
            texts.push_back(window.view().progressText);
        }
    }

    void showMigrationProgress(double fraction) override { fractions.push_back(fraction); }

    std::vector<std::string> events;
    std::vector<double> fractions;
    std::vector<std::string> alertTexts;
    std::vector<std::string> texts;
};

class MigrationStartupTest : public ::testing::Test {
protected:
    std::filesystem::path folder() const { return m_home / "Library" / "Miravel"; }
    std::unique_ptr<MiravelAppDelegate> make() {
        auto application = std::make_unique<MiravelAppDelegate>(
            folder(), m_settings, m_keychain, m_hooks, IngredientParser::sharedParser(), m_center,
            MainQueue::shared());
        application->setModelVersions(testVersions());
        return application;
    }
    // Runs the main queue until `done`, as the modal progress window does.
    static bool runUntil(const std::function<bool()>& done) {
        return MainQueue::shared().runUntil(done, std::chrono::seconds(20));
    }
    std::vector<std::string> recipeNames(MiravelAppDelegate& application) {
        std::vector<std::string> names;
        auto recipes = application.managedObjectContext()->fetch<Recipe>();
        EXPECT_TRUE(recipes);
        for (const auto& recipe : *recipes) {
            names.push_back(recipe->name().value_or(""));
        }
        std::ranges::sort(names);
        return names;
    }

    // Before converting, the library as it was went into the backups folder, whole, and it
    // restores to the earlier layout: the upgrade can be undone.
    void expectBackupOfTheEarlierLayout() {
        const auto backups = backupsIn(m_home / "Library" / "Backups");
        ASSERT_EQ(backups.size(), 1U);
        EXPECT_EQ(backupKind(backups[0]), "before conversion");
        EXPECT_TRUE(backups[0].file.filename().string().starts_with("Before Conversion "));
        const auto restored = m_home / "undone" / "Miravel";
        ASSERT_TRUE(restoreLibraryBackup(restored, backups[0].file, testVersions()));
        EXPECT_EQ(integerOf(restored / "Miravel.sqlite", "PRAGMA user_version"), 1);
    }

    NotificationCenter m_center;
    TemporaryFolder m_home;
    UserSettings m_settings{m_home / "config" / "Settings.json"};
    MemoryKeychain m_keychain;
    RecordingHooks m_hooks;
};

TEST_F(MigrationStartupTest, anEarlierLayoutIsConvertedBehindTheWindowThenStartUpGoesOn) {
    writeEarlierStore(folder() / "Miravel.sqlite");
    auto application = make();
    ASSERT_TRUE(application->shouldMigrateDatabase());
    application->applicationDidFinishLaunching();
    EXPECT_EQ(m_hooks.events, std::vector<std::string>{"migration"});
    ASSERT_NE(application->migrationController(), nullptr);
    EXPECT_EQ(application->migrationController()->view().progressText.substr(0, 18),
              "Upgrading database");
    ASSERT_TRUE(runUntil([&] { return application->initialized(); }));
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"migration", "welcome"}));
    EXPECT_EQ(application->migrationController(), nullptr);
    EXPECT_EQ(recipeNames(*application), (std::vector<std::string>{"Leek soup", "Soda bread"}));
    // The new table takes the default bookmarks.
    EXPECT_FALSE(application->managedObjectContext()->fetch<Bookmark>()->empty());
    EXPECT_TRUE(std::filesystem::exists(folder() / "Miravel.sqlite.version-1"));
    expectBackupOfTheEarlierLayout();
}

// The command line starts without windows: the conversion runs in place and reports its
// progress to the front end, then start-up goes on.
TEST_F(MigrationStartupTest, withoutWindowsAnEarlierLayoutIsConvertedInPlace) {
    writeEarlierStore(folder() / "Miravel.sqlite");
    auto application = make();
    application->launchWithoutWindows();
    EXPECT_TRUE(application->initialized());
    EXPECT_TRUE(m_hooks.events.empty()) << m_hooks.events.front();
    ASSERT_FALSE(m_hooks.fractions.empty());
    EXPECT_EQ(m_hooks.fractions.back(), 1.0);
    EXPECT_EQ(recipeNames(*application), (std::vector<std::string>{"Leek soup", "Soda bread"}));
    expectBackupOfTheEarlierLayout();

    // A library that may not be changed is not converted, and says why.
    m_hooks.events.clear();
    const auto other = m_home / "other" / "Miravel";
    writeEarlierStore(other / "Miravel.sqlite");
    MiravelAppDelegate readOnly(other, m_settings, m_keychain, m_hooks,
                                IngredientParser::sharedParser(), m_center, MainQueue::shared());
    readOnly.setModelVersions(testVersions());
    readOnly.library().setReadOnly(true);
    readOnly.launchWithoutWindows();
    ASSERT_EQ(m_hooks.events.size(), 1U);
    EXPECT_NE(m_hooks.events[0].find("must be converted"), std::string::npos) << m_hooks.events[0];
    EXPECT_EQ(integerOf(other / "Miravel.sqlite", "PRAGMA user_version"), 1);
}

TEST_F(MigrationStartupTest, aCurrentStoreOrNoneStartsWithoutTheWindow) {
    auto first = make();
    EXPECT_FALSE(first->shouldMigrateDatabase());
    first->applicationDidFinishLaunching();
    EXPECT_EQ(m_hooks.events, std::vector<std::string>{"welcome"});
    ASSERT_NE(first->managedObjectContext(), nullptr);
    first.reset();
    auto second = make();
    EXPECT_FALSE(second->shouldMigrateDatabase());
    second->applicationDidFinishLaunching();
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"welcome", "main"}));
    EXPECT_EQ(second->migrationController(), nullptr);
}

TEST_F(MigrationStartupTest, aStoreOfAnUnknownLayoutShowsTheErrorAndIsLeftAlone) {
    writeEarlierStore(folder() / "Miravel.sqlite");
    setUserVersion(folder() / "Miravel.sqlite", 9);
    const std::string before = bytesOf(folder() / "Miravel.sqlite");
    auto application = make();
    application->applicationDidFinishLaunching();
    MigrationController* window = application->migrationController();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(runUntil([&] { return window->mode() == MigrationController::Mode::Error; }));
    EXPECT_EQ(window->errorMessage(), "Migration error. Source model could not be located.");
    EXPECT_TRUE(window->view().buttonsVisible);
    EXPECT_FALSE(application->initialized());
    window->quitMiravel();
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"migration", "quit 0"}));
    EXPECT_EQ(bytesOf(folder() / "Miravel.sqlite"), before);
}

TEST_F(MigrationStartupTest, restoringAnEarlierBackupRestoresThenConvertsThenShowsTheLibrary) {
    // A backup of a library in the earlier layout.
    const auto old = m_home / "old" / "Miravel";
    writeEarlierStore(old / "Miravel.sqlite");
    const auto backup = m_home / "Old.miravelbak";
    ASSERT_TRUE(writeLibraryBackup(old, backup));

    auto application = make();
    application->applicationDidFinishLaunching();
    ASSERT_TRUE(application->initialized());
    auto recipe = application->managedObjectContext()->insert<Recipe>();
    recipe->setName("Made today");
    ASSERT_TRUE(application->managedObjectContext()->save());
    m_hooks.events.clear();

    application->restoreFromBackup(backup);
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"close main", "migration"}));
    EXPECT_EQ(application->library().mainContext(), nullptr);
    ASSERT_NE(application->migrationController(), nullptr);
    EXPECT_EQ(application->migrationController()->mode(), MigrationController::Mode::Restore);
    ASSERT_TRUE(runUntil([&] { return m_hooks.events.back() == "main"; }));
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"close main", "migration",
                                                        "alert: Restore from backup complete.",
                                                        "migration", "main"}));
    // The restore's message, then the conversion's, in the one window.
    auto at = [&](const std::string& text) {
        return std::ranges::find_if(
                   m_hooks.texts,
                   [&](const std::string& shown) { return shown.starts_with(text); }) -
               m_hooks.texts.begin();
    };
    EXPECT_LT(at("Restoring from backup... please wait."), at("Restore from backup complete."));
    EXPECT_LT(at("Restore from backup complete."), at("Upgrading database..."));
    EXPECT_LT(at("Upgrading database..."), at("Migration complete."));
    EXPECT_LT(at("Migration complete."), static_cast<std::ptrdiff_t>(m_hooks.texts.size()));
    ASSERT_EQ(m_hooks.alertTexts.size(), 1U);
    EXPECT_NE(m_hooks.alertTexts[0].find("Miravel Before Restore "), std::string::npos);
    EXPECT_EQ(recipeNames(*application), (std::vector<std::string>{"Leek soup", "Soda bread"}));
    // The settings are not in the backup: the default bookmarks are not inserted again.
    EXPECT_TRUE(application->managedObjectContext()->fetch<Bookmark>()->empty());
    ASSERT_TRUE(latestAutomaticBackup(folder()));
}

TEST_F(MigrationStartupTest, aRestoreOfNoBackupReopensThePreviousLibrary) {
    auto application = make();
    application->applicationDidFinishLaunching();
    auto recipe = application->managedObjectContext()->insert<Recipe>();
    recipe->setName("Mine");
    ASSERT_TRUE(application->managedObjectContext()->save());
    std::ofstream(m_home / "Not.miravelbak") << "not a zip";
    m_hooks.events.clear();

    application->restoreFromBackup(m_home / "Not.miravelbak");
    MigrationController* window = application->migrationController();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(runUntil([&] { return m_hooks.events.back() == "main"; }));
    EXPECT_EQ(m_hooks.events, (std::vector<std::string>{"close main", "migration",
                                                        "alert: Restore Failed", "main"}));
    ASSERT_EQ(m_hooks.alertTexts.size(), 1U);
    EXPECT_NE(m_hooks.alertTexts[0].find("is not a Miravel backup"), std::string::npos);
    EXPECT_NE(m_hooks.alertTexts[0].find("Your library was left as it was."), std::string::npos);
    EXPECT_EQ(recipeNames(*application), std::vector<std::string>{"Mine"});
    EXPECT_FALSE(latestAutomaticBackup(folder()));
}

}  // namespace
}  // namespace miravel
