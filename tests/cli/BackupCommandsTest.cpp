#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;
using testing::runMiravel;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class BackupCommandsTest : public KitchenTest {
protected:
    void SetUp() override { ASSERT_EQ(run({"recipe", "add", "--name", "Leek soup"}).exitCode, 0); }
    std::string recipes() { return run({"recipe", "list"}).out; }
    // The one backup file in a folder.
    std::filesystem::path backupIn(const std::filesystem::path& folder) {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".miravelbak") {
                found.push_back(entry.path());
            }
        }
        EXPECT_EQ(found.size(), 1U);
        return found.empty() ? std::filesystem::path() : found.front();
    }
};

TEST_F(BackupCommandsTest, backupGoesToTheOfferedNameInTheFolderGiven) {
    std::filesystem::create_directories(m_home / "backups");
    auto made = run({"backup", (m_home / "backups").string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto file = backupIn(m_home / "backups");
    EXPECT_TRUE(file.filename().string().starts_with("Backup ")) << file;
    EXPECT_TRUE(contains(made.out, "A backup file has been created: " + file.filename().string()))
        << made.out;
}

TEST_F(BackupCommandsTest, backupWithoutDestinationGoesToTheCurrentFolder) {
    std::filesystem::create_directories(m_home / "here");
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(m_home / "here");
    auto made = run({"backup"});
    std::filesystem::current_path(saved);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_TRUE(backupIn(m_home / "here").filename().string().starts_with("Backup "));
}

TEST_F(BackupCommandsTest, aPhotoThatCannotBeReadFailsTheBackupByName) {
    // Larger than any photo is read: unreadable even for a user who may read anything.
    { std::ofstream(library() / "huge.jpg"); }
    std::filesystem::resize_file(library() / "huge.jpg", (std::uintmax_t{64} << 20) + 1);
    auto made = run({"backup", (m_home / "b.miravelbak").string()});
    EXPECT_EQ(made.exitCode, 1);
    EXPECT_TRUE(contains(made.err, "huge.jpg")) << made.err;
    EXPECT_FALSE(std::filesystem::exists(m_home / "b.miravelbak"));
    for (const auto& entry : std::filesystem::directory_iterator(m_home.path())) {
        EXPECT_FALSE(contains(entry.path().filename().string(), ".part-")) << entry.path();
    }
}

TEST_F(BackupCommandsTest, restoreAsksAndCanBeUndone) {
    const auto backup = m_home / "soup.miravelbak";
    ASSERT_EQ(run({"backup", backup.string()}).exitCode, 0);
    ASSERT_EQ(run({"recipe", "add", "--name", "Soda bread"}).exitCode, 0);

    // No terminal to ask on: refused, nothing changed.
    auto refused = run({"restore", backup.string()});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(contains(refused.err, "--yes")) << refused.err;
    EXPECT_TRUE(contains(recipes(), "Soda bread"));

    auto restored = run({"restore", backup.string(), "--yes"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_TRUE(contains(restored.out, "Restore from backup complete.")) << restored.out;
    EXPECT_TRUE(contains(restored.out, "Kitchen Before Restore ")) << restored.out;
    EXPECT_TRUE(contains(restored.out, "miravel restore --undo")) << restored.out;
    EXPECT_TRUE(contains(recipes(), "Leek soup"));
    EXPECT_FALSE(contains(recipes(), "Soda bread"));

    auto undone = run({"restore", "--undo", "--yes"});
    ASSERT_EQ(undone.exitCode, 0) << undone.err;
    EXPECT_TRUE(contains(recipes(), "Soda bread"));
}

TEST_F(BackupCommandsTest, restoreIntoAFolderNotMadeYet) {
    const auto backup = m_home / "soup.miravelbak";
    ASSERT_EQ(run({"backup", backup.string()}).exitCode, 0);
    const auto fresh = m_home / "new" / "Kitchen";
    auto restored = runMiravel(m_home.path(),
                               {"--library", fresh.string(), "restore", backup.string(), "--yes"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    // Nothing was replaced, so nothing was kept.
    EXPECT_FALSE(contains(restored.out, "Before Restore")) << restored.out;
    auto list = runMiravel(m_home.path(), {"--library", fresh.string(), "recipe", "list"});
    EXPECT_TRUE(contains(list.out, "Leek soup")) << list.out << list.err;
}

TEST_F(BackupCommandsTest, restoreOfWhatIsNoBackupLeavesTheLibrary) {
    std::ofstream(m_home / "notes.miravelbak") << "just some text";
    auto refused = run({"restore", (m_home / "notes.miravelbak").string(), "--yes"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(contains(refused.err, "is not a Miravel backup")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "Your library was left as it was.")) << refused.err;
    EXPECT_TRUE(contains(recipes(), "Leek soup"));

    auto nothing = run({"restore", "--undo", "--yes"});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_TRUE(contains(nothing.err, "no library kept by an earlier restore")) << nothing.err;
    EXPECT_EQ(run({"restore"}).exitCode, 2);
    EXPECT_EQ(run({"restore", "x.miravelbak", "--undo"}).exitCode, 2);
}

TEST_F(BackupCommandsTest, infoShowsTheStoresModelVersion) {
    auto info = run({"info"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(contains(info.out, "Model version:   1 (this program writes 1)")) << info.out;
}

}  // namespace
}  // namespace miravel

namespace miravel {
namespace {

TEST_F(BackupCommandsTest, automaticBackupsGoBesideTheLibraryWhenDueAndAreListed) {
    auto first = run({"backup", "--automatic"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Automatic backup written: " + (m_home / "Backups").string()),
              std::string::npos)
        << first.out;
    auto again = run({"backup", "--automatic"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("No automatic backup was due"), std::string::npos) << again.out;
    ASSERT_EQ(run({"backup", "--automatic", "--force"}).exitCode, 0);

    auto listed = run({"backup", "--list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::size_t automatic = 0;
    for (std::size_t at = listed.out.find("\tautomatic\tAutomatic Backup ");
         at != std::string::npos; at = listed.out.find("\tautomatic\tAutomatic Backup ", at + 1)) {
        ++automatic;
    }
    // Names go to the second: the forced one, made within the same second, replaced the first.
    EXPECT_EQ(automatic, 1u) << listed.out;
    EXPECT_NE(listed.out.find("MB\tautomatic\t"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\t1 recipe\t"), std::string::npos) << listed.out;
    EXPECT_EQ(run({"backup", "--list", "elsewhere"}).exitCode, 2);
}

TEST_F(BackupCommandsTest, restoreLatestTakesTheNewestOfTheBackupsFolder) {
    auto none = run({"restore", "--latest", "--yes"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("there is no backup in"), std::string::npos) << none.err;
    ASSERT_EQ(run({"backup", "--automatic"}).exitCode, 0);
    ASSERT_EQ(run({"recipe", "add", "--name", "Stew"}).exitCode, 0);
    EXPECT_EQ(run({"restore", "--latest", "FILE"}).exitCode, 2);

    auto restored = run({"restore", "--latest", "--yes"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(recipes().find("Leek soup"), std::string::npos);
    EXPECT_EQ(recipes().find("Stew"), std::string::npos) << "the backup was taken before it";
}

}  // namespace
}  // namespace miravel
