#include "model/PhotoStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "lib/AtomicFile.h"
#include "lib/ImageSamples.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using namespace miravel::testing;

std::vector<std::string> fileNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PhotoStore, savesAThumbnailJpegUnderAFreshUniqueName) {
    TemporaryFolder folder;
    const std::string png = encodePng(makeImage(600, 300, patternColour));
    auto first = savePhoto(folder.path(), png);
    auto second = savePhoto(folder.path(), png);
    ASSERT_TRUE(first) << first.error().description;
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    const std::regex uuidJpg("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.jpg");
    EXPECT_TRUE(std::regex_match(*first, uuidJpg)) << *first;
    // Nothing but the two photos: no temporary file left behind.
    std::vector<std::string> expected = {*first, *second};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(fileNames(folder.path()), expected);

    auto stored = decodeImage(*readFile(folder / *first));
    ASSERT_TRUE(stored);
    EXPECT_EQ(detectImageFormat(*readFile(folder / *first)), ImageFormat::Jpeg);
    EXPECT_EQ(stored->width, 280);
    EXPECT_EQ(stored->height, 280);
}

TEST(PhotoStore, anImageIsStoredAtItsOwnSize) {
    TemporaryFolder folder;
    auto name = savePhoto(folder.path(), makeImage(112, 280, patternColour));
    ASSERT_TRUE(name);
    auto stored = decodeImage(*readFile(folder / *name));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->width, 112);
    EXPECT_EQ(stored->height, 280);
}

TEST(PhotoStore, failuresWriteNothing) {
    TemporaryFolder folder;
    EXPECT_FALSE(savePhoto(folder.path(), std::string_view("not a picture")));
    EXPECT_TRUE(fileNames(folder.path()).empty());
    auto missing = savePhoto(folder / "gone", encodePng(makeImage(4, 4, patternColour)));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, kFileErrorDomain);
}

}  // namespace
}  // namespace miravel
