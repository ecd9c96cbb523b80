#include "lib/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
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

TEST(AtomicFile, aLaterFlushStillReplacesWholeAndTheBatchFlushSaysWhatFailed) {
    TemporaryFolder folder;
    auto path = folder / "photo.jpg";
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    ASSERT_TRUE(writeFileAtomically(path, "new bytes", 0644, Flush::Later));
    EXPECT_EQ(readFile(path), "new bytes");
    EXPECT_EQ(entries(folder.path()), 1u);
    EXPECT_TRUE(flushFileSystemOf(folder.path()));
    auto missing = flushFileSystemOf(folder / "gone");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().description.find("gone"), std::string::npos);
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

TEST(AtomicFile, readingRefusesWhatIsNoFileWithTheReasonInsteadOfThrowing) {
    TemporaryFolder folder;
    auto folderRead = readFile(folder.path());
    ASSERT_FALSE(folderRead);
    EXPECT_EQ(folderRead.error().code, EISDIR);
    EXPECT_NE(folderRead.error().description.find("Is a directory"), std::string::npos);
    EXPECT_NE(folderRead.error().description.find(folder.path().string()), std::string::npos);
    EXPECT_EQ(readFile(folder / "missing").error().code, ENOENT);
    // Opens, then fails on the first read.
    EXPECT_FALSE(readFile("/proc/self/mem"));
}

TEST(AtomicFile, readingIsBoundedAndCanTakeJustTheStart) {
    TemporaryFolder folder;
    std::ofstream(folder / "ten") << "0123456789";
    EXPECT_EQ(readFile(folder / "ten", {.maxBytes = 10}), "0123456789");
    EXPECT_EQ(readFile(folder / "ten", {.maxBytes = 9}).error().code, EFBIG);
    EXPECT_EQ(readFile(folder / "ten", {.maxBytes = 4, .prefixOnly = true}), "0123");
    EXPECT_EQ(readFile(folder / "ten", {.maxBytes = 40, .prefixOnly = true}), "0123456789");
    // A device that never ends stops at the limit.
    EXPECT_EQ(readFile("/dev/zero", {.maxBytes = 100000}).error().code, EFBIG);
}

TEST(AtomicFile, aPlainFileOnlyReadRefusesAFifoWithoutWaitingForAWriter) {
    TemporaryFolder folder;
    auto fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto read = readFile(fifo, {.regularFileOnly = true});
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().description.find("not a regular file"), std::string::npos);
    EXPECT_FALSE(readFile("/dev/null", {.regularFileOnly = true}));
    EXPECT_EQ(readFile("/dev/null"), "");
}

TEST(AtomicFile, aPrivateFileReplacesALinkInsteadOfWritingThroughIt) {
    TemporaryFolder folder;
    std::ofstream(folder / "victim") << "theirs";
    std::filesystem::create_symlink(folder / "victim", folder / "photo.jpg");
    ASSERT_TRUE(writePrivateFile(folder / "photo.jpg", "ours"));
    EXPECT_EQ(readFile(folder / "victim"), "theirs");
    EXPECT_FALSE(std::filesystem::is_symlink(folder / "photo.jpg"));
    EXPECT_EQ(readFile(folder / "photo.jpg"), "ours");
    EXPECT_EQ(permissions(folder / "photo.jpg"), 0600u);
    ASSERT_TRUE(writePrivateFile(folder / "photo.jpg", "the next e-mail's"));
    EXPECT_EQ(readFile(folder / "photo.jpg"), "the next e-mail's");
    EXPECT_FALSE(writePrivateFile(folder / "missing" / "photo.jpg", "x"));
}

TEST(AtomicFile, privateTemporaryFoldersAreFreshAndClosedToOthers) {
    TemporaryFolder folder;
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", folder.path().c_str(), 1);
    auto first = makePrivateTemporaryFolder("miravel-mail");
    auto second = makePrivateTemporaryFolder("miravel-mail");
    if (saved != nullptr) {
        ::setenv("TMPDIR", previous.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->parent_path(), folder.path());
    EXPECT_TRUE(first->filename().string().starts_with("miravel-mail-"));
    EXPECT_EQ(permissions(*first), 0700u);
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
