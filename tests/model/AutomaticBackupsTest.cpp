#include "model/AutomaticBackups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"
#include "store/Database.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;
constexpr auto kDay = std::chrono::hours(24);

Timestamp noonOf(int year, int month, int day) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return momentOfTimeT(std::mktime(&local));
}

std::string periodOf(Timestamp moment, const char* format) {
    const std::time_t seconds = timeTOf(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

TEST(AutomaticBackupNames, carryTheMomentToTheSecondAndNothingElseIsTaken) {
    const Timestamp taken = noonOf(2026, 3, 7) + std::chrono::seconds(65);
    const std::string name = automaticBackupName(taken);
    EXPECT_TRUE(name.starts_with("Automatic Backup 2026-03-07 12.01.05")) << name;
    EXPECT_EQ(automaticBackupTime(name), taken);
    for (const char* other :
         {"Backup 2026-03-07 12.01.05.miravelbak", "Automatic Backup 2026-03-07.miravelbak",
          "Automatic Backup 2026-03-07 12.01.05.zip",
          "Automatic Backup 2026-03-07 12.01.05 copy.miravelbak"}) {
        EXPECT_FALSE(automaticBackupTime(other)) << other;
    }
}

TEST(AutomaticBackupSchedule, dueOnlyWhenADayOldAndTheLibraryChanged) {
    const Timestamp now = noonOf(2026, 5, 10);
    EXPECT_TRUE(automaticBackupDue(std::nullopt, now - kDay * 30, now));
    EXPECT_FALSE(automaticBackupDue(now - kDay * 3, now - kDay * 4, now)) << "nothing changed";
    EXPECT_FALSE(automaticBackupDue(now - std::chrono::hours(23), now, now)) << "not a day old";
    EXPECT_TRUE(automaticBackupDue(now - kDay, now - std::chrono::hours(1), now));
}

// A year and more of daily use: each day one backup is made and the folder is thinned, as
// the program does. What stays is the newest of each of the last 7 days, 4 weeks, 12 months.
TEST(AutomaticBackupThinning, fourHundredDaysKeepSevenDailyFourWeeklyTwelveMonthly) {
    std::vector<KeptBackup> folder;
    folder.push_back({"Backup by hand.miravelbak", noonOf(2025, 1, 2), 10, false});
    const Timestamp first = noonOf(2025, 1, 1);
    Timestamp today = first;
    for (int day = 0; day < 400; ++day, today += kDay) {
        folder.insert(folder.begin(), {automaticBackupName(today), today, 10, true});
        const auto beyond = backupsBeyondKeeping(folder);
        std::erase_if(folder, [&](const KeptBackup& backup) {
            return std::ranges::find(beyond, backup.file) != beyond.end();
        });
    }
    const Timestamp last = today - kDay;
    std::set<std::string> days, weeks, months;
    for (const auto& backup : folder) {
        if (backup.automatic) {
            days.insert(periodOf(backup.taken, "%Y-%m-%d"));
            weeks.insert(periodOf(backup.taken, "%G-%V"));
            months.insert(periodOf(backup.taken, "%Y-%m"));
        }
    }
    for (int back = 0; back < 7; ++back) {
        EXPECT_TRUE(days.contains(periodOf(last - kDay * back, "%Y-%m-%d"))) << back;
    }
    for (int back = 0; back < 4; ++back) {
        EXPECT_TRUE(weeks.contains(periodOf(last - kDay * 7 * back, "%G-%V"))) << back;
    }
    std::set<std::string> lastTwelveMonths;
    for (Timestamp moment = last; lastTwelveMonths.size() < 12; moment -= kDay) {
        lastTwelveMonths.insert(periodOf(moment, "%Y-%m"));
    }
    for (const auto& month : lastTwelveMonths) {
        EXPECT_TRUE(months.contains(month)) << month;
    }
    EXPECT_LE(folder.size(), 1u + 7 + 4 + 12);
    EXPECT_GE(folder.size(), 1u + 12);
    EXPECT_TRUE(std::ranges::any_of(folder, [](const auto& b) { return !b.automatic; }))
        << "a backup made by hand is never thinned";
}

class AutomaticBackupRunTest : public ::testing::Test {
protected:
    std::filesystem::path library() const { return m_home / "data" / "Miravel"; }
    std::filesystem::path backups() const { return m_home / "data" / kBackupsFolderName; }
    void addRecipe(const std::string& name) {
        std::filesystem::create_directories(library());
        auto opened =
            PersistentStoreCoordinator::open(library() / kStoreFileName, miravelObjectModel());
        ASSERT_TRUE(opened) << opened.error().description;
        ManagedObjectContext context(*opened, MergePolicy::InMemoryWins, nullptr);
        context.insert<Recipe>()->setName(name);
        ASSERT_TRUE(context.save());
    }
    std::size_t automaticCount() {
        std::size_t count = 0;
        for (const auto& backup : backupsIn(backups())) {
            count += backup.automatic ? 1 : 0;
        }
        return count;
    }

    TemporaryFolder m_home;
};

TEST_F(AutomaticBackupRunTest, writesWhenDueChecksItAndSkipsAnUnchangedLibrary) {
    addRecipe("Leek soup");
    const Timestamp now = currentMoment();
    auto first = runAutomaticBackup(library(), backups(), miravelModelVersions(), now);
    ASSERT_TRUE(first) << first.error().description;
    ASSERT_TRUE(first->written);
    EXPECT_EQ(first->written->parent_path(), backups());
    EXPECT_EQ(automaticCount(), 1u);

    // Two days on, but the library has not changed since: nothing to do.
    auto unchanged =
        runAutomaticBackup(library(), backups(), miravelModelVersions(), now + kDay * 2);
    ASSERT_TRUE(unchanged);
    EXPECT_FALSE(unchanged->written);

    // Asked for (before a conversion or a restore), it is written whatever the schedule.
    auto forced =
        runAutomaticBackup(library(), backups(), miravelModelVersions(), now + kDay * 2, true);
    ASSERT_TRUE(forced) << forced.error().description;
    EXPECT_TRUE(forced->written);
    EXPECT_EQ(automaticCount(), 2u);
}

TEST_F(AutomaticBackupRunTest, aBackupThatFailsItsCheckIsRemovedAndTheOldOnesStay) {
    // A store SQLite reads but this program cannot restore: no tables of its own.
    std::filesystem::create_directories(library());
    {
        auto database =
            Database::open(library() / kStoreFileName, Database::Access::ReadWriteCreate);
        ASSERT_TRUE(database);
        ASSERT_TRUE(database->execute("CREATE TABLE Other (x INTEGER)"));
    }
    std::filesystem::create_directories(backups());
    const Timestamp now = currentMoment();
    const auto old = backups() / automaticBackupName(now - kDay * 400);
    std::ofstream(old) << "an old backup";
    std::filesystem::last_write_time(
        old, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400));

    auto run = runAutomaticBackup(library(), backups(), miravelModelVersions(), now);
    ASSERT_FALSE(run);
    EXPECT_NE(run.error().description.find("could not be verified"), std::string::npos)
        << run.error().description;
    const auto left = backupsIn(backups());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].file, old);
}

TEST(AutomaticBackupFolder, besideTheLibraryUnlessTheSettingNamesOne) {
    TemporaryFolder home;
    UserSettings settings(home / "settings.json");
    EXPECT_EQ(backupsFolder(home / "data" / "Miravel", settings), home / "data" / "Backups");
    settings.setString(kBackupsFolderKey, (home / "elsewhere").string());
    EXPECT_EQ(backupsFolder(home / "data" / "Miravel", settings), home / "elsewhere");
}

}  // namespace
}  // namespace miravel
