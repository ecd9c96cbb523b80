#include "model/LibraryBackup.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/ZipArchive.h"
#include "model/Meal.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/UserFolders.h"
#include "store/Database.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string bytesOf(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    return bytes ? *bytes : std::string("<unreadable>");
}

// A library folder opened as the program opens it.
class OpenLibrary {
public:
    explicit OpenLibrary(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        auto opened =
            PersistentStoreCoordinator::open(folder / kStoreFileName, miravelObjectModel());
        EXPECT_TRUE(opened) << (opened ? "" : opened.error().description);
        coordinator = *opened;
        context =
            std::make_unique<ManagedObjectContext>(coordinator, MergePolicy::InMemoryWins, nullptr);
    }
    void addRecipe(const std::string& name, const std::string& status = kStatusModified) {
        auto recipe = context->insert<Recipe>();
        recipe->setName(name);
        recipe->setStatus(status);
        ASSERT_TRUE(context->save());
    }
    std::vector<std::string> recipeNames() {
        std::vector<std::string> names;
        auto recipes = context->fetch<Recipe>();
        EXPECT_TRUE(recipes);
        for (const auto& recipe : *recipes) {
            names.push_back(recipe->name().value_or("") + "/" + recipe->status());
        }
        std::ranges::sort(names);
        return names;
    }

    std::shared_ptr<PersistentStoreCoordinator> coordinator;
    std::unique_ptr<ManagedObjectContext> context;
};

std::vector<std::string> entryNames(const std::filesystem::path& archive) {
    auto reader = ZipReader::open(archive);
    EXPECT_TRUE(reader) << (reader ? "" : reader.error().description);
    std::vector<std::string> names;
    if (reader) {
        for (const auto& entry : reader->entries()) {
            names.push_back(entry.name);
        }
    }
    std::ranges::sort(names);
    return names;
}

std::vector<std::string> folderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

std::string integrity(const std::filesystem::path& store) {
    auto database = Database::open(store, Database::Access::ReadOnly);
    if (!database) {
        return database.error().description;
    }
    auto check = database->prepare("PRAGMA integrity_check");
    auto row = check->step();
    return row && *row ? std::string(check->columnText(0)) : "no answer";
}

TEST(BackupRules, entryNamesAreTheStoreAndJpegPhotosOnly) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"Miravel.sqlite", true},
        {"A1B2.jpg", true},
        {"leek soup.jpg", true},
        {"photo.JPG", false},
        {"photo.png", false},
        {"Other.sqlite", false},
        {"Miravel.sqlite-wal", false},
        {"../evil.jpg", false},
        {"sub/photo.jpg", false},
        {"sub\\photo.jpg", false},
        {".jpg", false},
        {".hidden.jpg", false},
        {"", false},
        {"a\nb.jpg", false},
        {"/etc/cron.d/x.jpg", false},
    };
    for (const auto& [name, accepted] : cases) {
        EXPECT_EQ(isBackupEntryName(name), accepted) << name;
    }
}

TEST(BackupRules, offeredNameIsTheLocalDateAndTime) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto moment = std::chrono::time_point_cast<std::chrono::microseconds>(
        std::chrono::system_clock::from_time_t(std::mktime(&local)));
    EXPECT_EQ(offeredBackupFileName(moment), "Backup 2026-12-07 14.05.09.miravelbak");
}

class LibraryBackupTest : public ::testing::Test {
protected:
    std::filesystem::path library() const { return m_home / "data" / "Miravel"; }
    std::filesystem::path archive() const { return m_home / "Backup.miravelbak"; }

    TemporaryFolder m_home;
};

TEST_F(LibraryBackupTest, libraryWithoutPhotosHoldsTheStoreAlone) {
    OpenLibrary open(library());
    open.addRecipe("Leek soup");
    auto written = writeLibraryBackup(library(), archive());
    ASSERT_TRUE(written) << written.error().description;
    EXPECT_EQ(entryNames(archive()), std::vector<std::string>{"Miravel.sqlite"});
    EXPECT_EQ(written->photos, 0U);
}

TEST_F(LibraryBackupTest, onlyTopLevelJpgFilesGoInBesideTheStore) {
    OpenLibrary open(library());
    writeBytes(library() / "soup.jpg", "jpeg bytes");
    writeBytes(library() / "upper.JPG", "jpeg bytes");
    writeBytes(library() / "drawing.png", "png bytes");
    writeBytes(library() / "notes.txt", "text");
    std::filesystem::create_directories(library() / "folder.jpg");
    writeBytes(library() / "folder.jpg" / "inner.jpg", "jpeg bytes");
    std::filesystem::create_symlink("/etc/hostname", library() / "link.jpg");
    auto written = writeLibraryBackup(library(), archive());
    ASSERT_TRUE(written) << written.error().description;
    EXPECT_EQ(entryNames(archive()), (std::vector<std::string>{"Miravel.sqlite", "soup.jpg"}));
}

// The store runs with a log beside it: commits not yet copied into the file itself must be
// in the backup all the same.
// Counted live recipes only: a deletion kept for the server is no recipe of the library.
TEST_F(LibraryBackupTest, commitsStillInTheLogAreInTheBackupAndCounted) {
    OpenLibrary open(library());
    for (int i = 0; i < 20; ++i) {
        open.addRecipe("Recipe " + std::to_string(i));
    }
    open.addRecipe("Gone", kStatusDeleted);
    ASSERT_TRUE(std::filesystem::exists(library() / "Miravel.sqlite-wal"));
    auto written = writeLibraryBackup(library(), archive());
    ASSERT_TRUE(written);
    EXPECT_EQ(written->recipes, std::optional<std::size_t>(20));
    EXPECT_EQ(recipesInBackup(archive()), std::optional<std::size_t>(20));

    const auto restored = m_home / "elsewhere" / "Miravel";
    auto done = restoreLibraryBackup(restored, archive(), miravelModelVersions());
    ASSERT_TRUE(done) << done.error().description;
    EXPECT_EQ(done->recipes, std::optional<std::size_t>(20));
    OpenLibrary reopened(restored);
    EXPECT_EQ(reopened.recipeNames().size(), 21U);

    // Anything that is no backup has no count, and says so rather than zero.
    writeBytes(m_home / "not.miravelbak", "PK not really");
    EXPECT_EQ(recipesInBackup(m_home / "not.miravelbak"), std::nullopt);
    EXPECT_EQ(recipesInBackup(m_home / "missing.miravelbak"), std::nullopt);
}

// A listing of backups reads the count each backup recorded instead of inflating its store;
// a backup from before counts were recorded, or whose comment is another's, is counted in
// its store as before.
TEST_F(LibraryBackupTest, listingReadsTheRecordedCountAndCountsOlderBackups) {
    OpenLibrary open(library());
    for (int i = 0; i < 3; ++i) {
        open.addRecipe("Recipe " + std::to_string(i));
    }
    ASSERT_TRUE(writeLibraryBackup(library(), archive()));
    EXPECT_EQ(recipesInBackup(archive()), std::optional<std::size_t>(3));
    auto reader = ZipReader::open(archive());
    ASSERT_TRUE(reader);
    const std::string store = reader->read(0).value_or("");
    ASSERT_FALSE(store.empty());

    const auto backupOf = [&](const std::string& name, const std::string& storeBytes,
                              const std::string& comment) {
        auto writer = ZipWriter::create(m_home / name);
        EXPECT_TRUE(writer->add(kStoreFileName, storeBytes, currentMoment()));
        writer->setComment(comment);
        EXPECT_TRUE(writer->commit());
        return m_home / name;
    };
    const std::string recorded = reader->comment();
    ASSERT_FALSE(recorded.empty());
    // The count comes from the comment alone: the store here could not even be opened.
    std::string seven = recorded;
    seven.back() = '7';
    EXPECT_EQ(recipesInBackup(backupOf("recorded.miravelbak", "not a store", seven)),
              std::optional<std::size_t>(7));
    EXPECT_EQ(recipesInBackup(backupOf("old.miravelbak", store, "")),
              std::optional<std::size_t>(3));
    EXPECT_EQ(recipesInBackup(backupOf("zipped.miravelbak", store, "made by zip -z")),
              std::optional<std::size_t>(3));
    EXPECT_EQ(recipesInBackup(backupOf("bent.miravelbak", store, recorded + "x")),
              std::optional<std::size_t>(3));
    EXPECT_EQ(recipesInBackup(backupOf("none.miravelbak", "not a store", "")), std::nullopt);

    // The comment is no entry: the backup still verifies and restores.
    auto checked = verifyLibraryBackup(archive(), miravelModelVersions());
    ASSERT_TRUE(checked) << checked.error().description;
    EXPECT_EQ(checked->recipes, std::optional<std::size_t>(3));
}

TEST_F(LibraryBackupTest, anUnreadablePhotoFailsTheBackupAndLeavesNoArchive) {
    OpenLibrary open(library());
    writeBytes(library() / "good.jpg", "jpeg bytes");
    // Past the size any file is read at: reading it fails even for a user who may read all.
    { std::ofstream(library() / "huge.jpg"); }
    std::filesystem::resize_file(library() / "huge.jpg", kMaxPhotoBytes + 1);
    writeBytes(archive(), "the user's earlier file");

    auto written = writeLibraryBackup(library(), archive());
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().description.find("huge.jpg"), std::string::npos)
        << written.error().description;
    EXPECT_EQ(bytesOf(archive()), "the user's earlier file");
    EXPECT_EQ(folderNames(m_home.path()), (std::vector<std::string>{"Backup.miravelbak", "data"}));
}

TEST_F(LibraryBackupTest, restoreReplacesTheLibraryAndKeepsThePreviousOneForUndo) {
    {
        OpenLibrary open(library());
        open.addRecipe("Leek soup", kStatusUnmodified);
        writeBytes(library() / "soup.jpg", "soup photo");
        ASSERT_TRUE(writeLibraryBackup(library(), archive()));
        open.addRecipe("Added later");
        writeBytes(library() / "later.jpg", "later photo");
        writeBytes(library() / "Miravel.sqlite.damaged-20260101", "kept by a repair");
    }
    auto restored = restoreLibraryBackup(library(), archive(), miravelModelVersions());
    ASSERT_TRUE(restored) << restored.error().description;
    ASSERT_TRUE(restored->previousLibrary);
    EXPECT_EQ(restored->previousLibrary->parent_path(), library().parent_path());
    EXPECT_TRUE(
        restored->previousLibrary->filename().string().starts_with("Miravel Before Restore "));
    {
        OpenLibrary open(library());
        // Sync statuses travel inside the store.
        EXPECT_EQ(open.recipeNames(), std::vector<std::string>{"Leek soup/unmodified"});
        EXPECT_EQ(bytesOf(library() / "soup.jpg"), "soup photo");
        EXPECT_FALSE(std::filesystem::exists(library() / "later.jpg"));
        EXPECT_EQ(bytesOf(library() / "Miravel.sqlite.damaged-20260101"), "kept by a repair");
    }
    // Nothing of the work is left beside the library.
    for (const auto& name : folderNames(library().parent_path())) {
        EXPECT_EQ(name.find(".restoring-"), std::string::npos) << name;
    }

    auto previous = latestAutomaticBackup(library());
    ASSERT_TRUE(previous);
    EXPECT_EQ(*previous, *restored->previousLibrary);
    ASSERT_TRUE(restoreLibraryBackup(library(), *previous, miravelModelVersions()));
    OpenLibrary open(library());
    EXPECT_EQ(open.recipeNames(),
              (std::vector<std::string>{"Added later/modified", "Leek soup/unmodified"}));
    EXPECT_EQ(bytesOf(library() / "later.jpg"), "later photo");
}

TEST_F(LibraryBackupTest, twoLibrariesInOneFolderKeepTheirOwnPreviousLibrary) {
    const auto first = m_home / "data" / "First";
    const auto second = m_home / "data" / "Second";
    {
        OpenLibrary a(first);
        a.addRecipe("First's");
        OpenLibrary b(second);
        b.addRecipe("Second's");
    }
    ASSERT_TRUE(writeLibraryBackup(first, archive()));
    ASSERT_TRUE(restoreLibraryBackup(first, archive(), miravelModelVersions()));
    ASSERT_TRUE(restoreLibraryBackup(second, archive(), miravelModelVersions()));
    auto kept = latestAutomaticBackup(first);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->filename().string().starts_with("First Before Restore ")) << *kept;
    ASSERT_TRUE(
        restoreLibraryBackup(second, *latestAutomaticBackup(second), miravelModelVersions()));
    OpenLibrary b(second);
    EXPECT_EQ(b.recipeNames(), std::vector<std::string>{"Second's/modified"});
}

// Archives a restore must refuse, leaving the library exactly as it was.
TEST_F(LibraryBackupTest, archivesThatAreNoBackupLeaveTheLibraryUntouched) {
    const auto fixtures = m_home / "fixtures";
    std::filesystem::create_directories(fixtures);
    std::string goodStore;
    {
        OpenLibrary other(m_home / "other");
        other.addRecipe("From the backup");
    }
    {
        // The log holds the recipe: take a snapshot the way a backup does.
        ASSERT_TRUE(writeLibraryBackup(m_home / "other", fixtures / "good.miravelbak"));
        auto reader = ZipReader::open(fixtures / "good.miravelbak");
        goodStore = *reader->read(0);
    }
    auto zipOf = [&](const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
        auto writer = ZipWriter::create(fixtures / name);
        for (const auto& [entry, bytes] : entries) {
            EXPECT_TRUE(writer->add(entry, bytes, currentMoment()));
        }
        EXPECT_TRUE(writer->commit());
        return fixtures / name;
    };
    auto foreignStore = [&](const std::string& sql) {
        const auto file = fixtures / "foreign.sqlite";
        std::filesystem::remove(file);
        {
            auto database = Database::open(file, Database::Access::ReadWriteCreate);
            EXPECT_TRUE(database->execute(sql));
        }
        return bytesOf(file);
    };
    std::string damaged = goodStore;
    damaged.resize(damaged.size() / 2);
    std::string newer = goodStore;
    newer[60] = 0x7f;  // user_version, big-endian at offset 60

    writeBytes(fixtures / "text.miravelbak", "not an archive at all");
    const std::vector<std::pair<std::string, std::filesystem::path>> cases = {
        {"not a zip", fixtures / "text.miravelbak"},
        {"missing file", fixtures / "absent.miravelbak"},
        {"parent folder", zipOf("dots.zip", {{"Miravel.sqlite", goodStore}, {"../evil.jpg", "x"}})},
        {"sub folder", zipOf("sub.zip", {{"Miravel.sqlite", goodStore}, {"sub/a.jpg", "x"}})},
        {"absolute", zipOf("abs.zip", {{"Miravel.sqlite", goodStore}, {"/tmp/a.jpg", "x"}})},
        {"other file", zipOf("other.zip", {{"Miravel.sqlite", goodStore}, {".bashrc", "x"}})},
        {"store log",
         zipOf("log.zip", {{"Miravel.sqlite", goodStore}, {"Miravel.sqlite-wal", "x"}})},
        {"twice",
         zipOf("twice.zip", {{"Miravel.sqlite", goodStore}, {"Miravel.sqlite", goodStore}})},
        {"no store", zipOf("nostore.zip", {{"a.jpg", "x"}})},
        {"store not a database", zipOf("garbage.zip", {{"Miravel.sqlite", "garbage bytes"}})},
        {"store damaged", zipOf("damaged.zip", {{"Miravel.sqlite", damaged}})},
        {"store of a newer version", zipOf("newer.zip", {{"Miravel.sqlite", newer}})},
        {"store of another program",
         zipOf("foreign.zip",
               {{"Miravel.sqlite", foreignStore("CREATE TABLE t(x); INSERT INTO t VALUES (1);")}})},
        {"store without the tables",
         zipOf("empty.zip", {{"Miravel.sqlite",
                              foreignStore("PRAGMA application_id=1297241676; PRAGMA "
                                           "user_version=1; CREATE TABLE Recipe(id INTEGER);")}})},
    };
    {
        OpenLibrary open(library());
        open.addRecipe("Mine");
        writeBytes(library() / "mine.jpg", "my photo");
    }
    const auto before = folderNames(library());
    const auto storeBefore = bytesOf(library() / "Miravel.sqlite");
    for (const auto& [what, file] : cases) {
        auto restored = restoreLibraryBackup(library(), file, miravelModelVersions());
        EXPECT_FALSE(restored) << what;
        if (!restored) {
            EXPECT_EQ(restored.error().domain, kBackupErrorDomain) << what;
            EXPECT_FALSE(restored.error().description.empty()) << what;
        }
        EXPECT_EQ(folderNames(library()), before) << what;
        EXPECT_EQ(bytesOf(library() / "Miravel.sqlite"), storeBefore) << what;
        EXPECT_EQ(folderNames(library().parent_path()), std::vector<std::string>{"Miravel"})
            << what;
        EXPECT_FALSE(std::filesystem::exists(m_home / "evil.jpg")) << what;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("/tmp/a.jpg")) &&
                     bytesOf("/tmp/a.jpg") == "x")
            << what;
    }
    OpenLibrary open(library());
    EXPECT_EQ(open.recipeNames(), std::vector<std::string>{"Mine/modified"});
}

// A backup taken while another thread saves recipes one small transaction at a time holds
// the library as it was at one moment: every recipe with its meal, a run of the first k.
TEST_F(LibraryBackupTest, backupDuringSavesIsASnapshotOfOneMoment) {
    constexpr int kRecipes = 1000;
    OpenLibrary open(library());
    std::atomic<int> saved = 0;
    std::atomic<bool> started = false;
    std::thread writer([&] {
        ManagedObjectContext context(open.coordinator, MergePolicy::StoreWins, nullptr);
        for (int i = 0; i < kRecipes; ++i) {
            auto recipe = context.insert<Recipe>();
            char name[16];
            std::snprintf(name, sizeof name, "r%04d", i);
            recipe->setName(std::string(name));
            auto meal = context.insert<Meal>();
            meal->setRecipe(recipe);
            ASSERT_TRUE(context.save());
            saved = i + 1;
            started = true;
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    const int before = saved;
    auto written = writeLibraryBackup(library(), archive());
    const int after = saved;
    writer.join();
    ASSERT_TRUE(written) << written.error().description;

    const auto restored = m_home / "restored" / "Miravel";
    ASSERT_TRUE(restoreLibraryBackup(restored, archive(), miravelModelVersions()));
    EXPECT_EQ(integrity(restored / "Miravel.sqlite"), "ok");
    auto database = Database::open(restored / "Miravel.sqlite", Database::Access::ReadOnly);
    auto count = [&](const std::string& sql) {
        auto statement = database->prepare(sql);
        EXPECT_TRUE(statement->step());
        return statement->columnInt64(0);
    };
    const auto recipes = count("SELECT count(*) FROM Recipe");
    EXPECT_GE(recipes, before);
    EXPECT_LE(recipes, after);
    EXPECT_EQ(count("SELECT count(*) FROM Meal"), recipes);
    EXPECT_EQ(count("SELECT count(*) FROM Meal WHERE recipe NOT IN (SELECT id FROM Recipe)"), 0);
    // The first k recipes, no gap: later saves are all missing, earlier ones all present.
    EXPECT_EQ(count("SELECT count(DISTINCT name) FROM Recipe"), recipes);
    auto last = database->prepare("SELECT max(name) FROM Recipe");
    ASSERT_TRUE(last->step());
    if (recipes > 0) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "r%04d", static_cast<int>(recipes - 1));
        EXPECT_EQ(last->columnText(0), expected);
    }
}

}  // namespace
}  // namespace miravel
