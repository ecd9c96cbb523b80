#include "lib/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

mode_t permissions(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::size_t entries(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(AtomicFile, replacesWholeFileWithRequestedModeAndLeavesNoTemporary) {
    TemporaryFolder folder;
    auto path = folder / "data.json";
    ASSERT_TRUE(writeFileAtomically(path, "first", 0600));
    ASSERT_TRUE(writeFileAtomically(path, std::string("second\0with nul", 15), 0600));
    EXPECT_EQ(readFile(path), std::string("second\0with nul", 15));
    EXPECT_EQ(permissions(path), 0600u);
    EXPECT_EQ(entries(folder.path()), 1u);
}

TEST(AtomicFile, failureLeavesTheOldFileAndSaysWhere) {
    TemporaryFolder folder;
    auto missing = folder / "no-such-folder" / "data.json";
    auto written = writeFileAtomically(missing, "x");
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().description.find(missing.string()), std::string::npos);

    // Replacing a folder fails after the temporary was written: the folder stays, and the
    // temporary is cleaned away.
    std::filesystem::create_directory(folder / "taken");
    std::ofstream(folder / "taken" / "inside") << "kept";
    EXPECT_FALSE(writeFileAtomically(folder / "taken", "lost"));
    EXPECT_EQ(readFile(folder / "taken" / "inside"), "kept");
    EXPECT_EQ(entries(folder.path()), 1u);
}

TEST(AtomicFile, createFolderMakesParentsAndRefusesAFileInTheWay) {
    TemporaryFolder folder;
    EXPECT_TRUE(createFolder(folder / "a" / "b" / "c", 0700));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "a" / "b" / "c"));
    EXPECT_EQ(permissions(folder / "a" / "b"), 0700u);
    std::ofstream(folder / "file") << "x";
    EXPECT_FALSE(createFolder(folder / "file"));
    EXPECT_FALSE(createFolder(folder / "file" / "below"));
}

TEST(AtomicFile, damagedFilesAreKeptAsideUnderDistinctNames) {
    TemporaryFolder folder;
    auto path = folder / "Settings.json";
    std::ofstream(path) << "{broken";
    auto first = keepDamagedFileAside(path);
    ASSERT_TRUE(first);
    std::ofstream(path) << "{broken again";
    auto second = keepDamagedFileAside(path);
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(readFile(*first), "{broken");
    EXPECT_EQ(readFile(*second), "{broken again");
}

}  // namespace
}  // namespace miravel
