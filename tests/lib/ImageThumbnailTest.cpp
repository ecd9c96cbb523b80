#include "lib/ImageThumbnail.h"

#include <gtest/gtest.h>

#include "lib/ImageSamples.h"

namespace miravel {
namespace {

using namespace miravel::testing;

struct PlanCase {
    int width, height;
    int scaledWidth, scaledHeight, cropX, cropY, outWidth, outHeight;
};

TEST(ThumbnailPlan, followsTheFitOrCoverRule) {
    const PlanCase cases[] = {
        {1000, 500, 560, 280, 140, 0, 280, 280},  // cover, cut equally left and right
        {400, 200, 280, 140, 0, 0, 280, 140},     // a side below 280: fit
        {200, 500, 112, 280, 0, 0, 112, 280},
        {200, 100, 200, 100, 0, 0, 200, 100},  // fits already: never enlarged
        {280, 280, 280, 280, 0, 0, 280, 280},
        {279, 1000, 78, 280, 0, 0, 78, 280},
        {281, 280, 281, 280, 1, 0, 280, 280},  // offset 0.5 rounds to a whole pixel
        {500, 1000, 280, 560, 0, 140, 280, 280},
        {4000, 3000, 373, 280, 47, 0, 280, 280},
        {30000, 1, 280, 1, 0, 0, 280, 1},  // a side never rounds to nothing
        {0, 50, 280, 280, 0, 0, 280, 280},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
        const ThumbnailPlan plan = planThumbnail(c.width, c.height);
        EXPECT_EQ(plan.scaledWidth, c.scaledWidth);
        EXPECT_EQ(plan.scaledHeight, c.scaledHeight);
        EXPECT_EQ(plan.cropX, c.cropX);
        EXPECT_EQ(plan.cropY, c.cropY);
        EXPECT_EQ(plan.width, c.outWidth);
        EXPECT_EQ(plan.height, c.outHeight);
    }
}

// Photos go through the whole pipeline: encoded, decoded (JPEG at a reduced DCT scale),
// thumbnailed, encoded again, and the stored JPEG read back.
TEST(Thumbnail, storedSizesOnRealDecodedOutput) {
    const std::pair<std::pair<int, int>, std::pair<int, int>> cases[] = {
        {{1000, 500}, {280, 280}},
        {{400, 200}, {280, 140}},
        {{200, 500}, {112, 280}},
        {{200, 100}, {200, 100}},
    };
    for (const auto& [source, expected] : cases) {
        const Image image = makeImage(source.first, source.second, patternColour);
        for (const std::string& bytes : {encodePng(image), *encodeJpeg(image, 90)}) {
            SCOPED_TRACE(::testing::Message() << source.first << "x" << source.second << " from "
                                              << (bytes[0] == '\x89' ? "png" : "jpeg"));
            auto jpeg = thumbnailJpeg(bytes);
            ASSERT_TRUE(jpeg) << jpeg.error().description;
            ASSERT_EQ(detectImageFormat(*jpeg), ImageFormat::Jpeg);
            auto stored = decodeImage(*jpeg);
            ASSERT_TRUE(stored);
            EXPECT_EQ(stored->width, expected.first);
            EXPECT_EQ(stored->height, expected.second);
        }
    }
}

TEST(Thumbnail, theCropIsCentred) {
    // Red bands of 250 pixels left and right of a blue middle: scaled to 560 x 280 the bands
    // are 140 wide, exactly what a centred crop cuts off.
    const Image banded = makeImage(1000, 500, [](int x, int) {
        const bool side = x < 250 || x >= 750;
        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(side ? 255 : 0), 0,
                                           static_cast<std::uint8_t>(side ? 0 : 255), 255};
    });
    for (const std::string& bytes : {encodePng(banded), *encodeJpeg(banded, 95)}) {
        auto jpeg = thumbnailJpeg(bytes);
        ASSERT_TRUE(jpeg);
        auto thumbnail = decodeImage(*jpeg);
        ASSERT_TRUE(thumbnail);
        ASSERT_EQ(thumbnail->width, 280);
        // Resampling may borrow a little red at the very edges; everything else is blue.
        for (int y = 0; y < 280; y += 7) {
            for (int x = 4; x < 276; ++x) {
                const std::uint8_t* p = thumbnail->pixel(x, y);
                ASSERT_TRUE(p[0] < 40 && p[2] > 215) << x << "," << y << " r=" << int(p[0]);
            }
        }
    }
}

TEST(ImageResize, flatColourStaysExactIncludingTheBorders) {
    const Image flat = makeImage(97, 61, [](int, int) {
        return std::array<std::uint8_t, 4>{200, 100, 50, 255};
    });
    for (auto [w, h] :
         {std::pair{31, 17}, std::pair{280, 140}, std::pair{96, 60}, std::pair{3, 1}}) {
        const Image resized = resizeImage(flat, w, h);
        ASSERT_EQ(resized.width, w);
        ASSERT_EQ(resized.height, h);
        for (std::size_t i = 0; i < resized.pixels.size(); i += 4) {
            ASSERT_EQ(resized.pixels[i], 200) << i / 4;
            ASSERT_EQ(resized.pixels[i + 1], 100);
            ASSERT_EQ(resized.pixels[i + 2], 50);
            ASSERT_EQ(resized.pixels[i + 3], 255);
        }
    }
}

TEST(ImageResize, transparentPixelsLendNoColour) {
    // Left half invisible red, right half opaque green: no red may appear anywhere.
    const Image image = makeImage(64, 8, [](int x, int) {
        return x < 32 ? std::array<std::uint8_t, 4>{255, 0, 0, 0}
                      : std::array<std::uint8_t, 4>{0, 255, 0, 255};
    });
    const Image resized = resizeImage(image, 16, 2);
    for (int x = 0; x < 16; ++x) {
        const std::uint8_t* p = resized.pixel(x, 0);
        if (p[3] > 8) {
            EXPECT_LT(p[0], 8) << x;
        }
    }
    EXPECT_LT(resized.pixel(0, 0)[3], 8);
    EXPECT_EQ(resized.pixel(15, 0)[3], 255);
}

TEST(ImageResize, shrinkingAveragesInsteadOfSkipping) {
    // One-pixel stripes: point sampling would give pure black or white; averaging gives grey.
    const Image stripes = makeImage(200, 10, [](int x, int) {
        const auto v = static_cast<std::uint8_t>(x % 2 ? 255 : 0);
        return std::array<std::uint8_t, 4>{v, v, v, 255};
    });
    const Image resized = resizeImage(stripes, 20, 1);
    for (int x = 1; x < 19; ++x) {
        EXPECT_NEAR(resized.pixel(x, 0)[0], 128, 8) << x;
    }
}

}  // namespace
}  // namespace miravel

namespace miravel {
namespace {

TEST(ThumbnailJpeg, keepsAFittingJpegAsItIsAndEncodesEverythingElse) {
    using testing::makeImage;
    using testing::patternColour;
    const std::string small = encodeJpeg(makeImage(200, 100, patternColour)).value();
    EXPECT_EQ(thumbnailJpeg(small).value(), small) << "no second generation of JPEG loss";
    // Kept bytes are still read to their end first: a picture cut short is no photo.
    for (std::size_t keep : {small.size() - 2, small.size() / 2, std::size_t{200}}) {
        EXPECT_FALSE(thumbnailJpeg(small.substr(0, keep))) << keep;
    }

    const std::string large = encodeJpeg(makeImage(600, 300, patternColour)).value();
    auto reduced = decodeImage(thumbnailJpeg(large).value());
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->width, 280);

    // A PNG, and a small JPEG that carries camera data, are encoded afresh.
    const std::string png = testing::encodePng(makeImage(20, 10, patternColour));
    EXPECT_EQ(detectImageFormat(thumbnailJpeg(png).value()), ImageFormat::Jpeg);
    std::string camera = small;
    const std::string exif = std::string("\xFF\xE1\x00\x10", 4) + std::string("Exif\0\0", 6) +
                             std::string("MM\0\x2A\0\0\0\x08", 8);
    camera.insert(2, exif);
    EXPECT_NE(thumbnailJpeg(camera).value(), camera);
}

}  // namespace
}  // namespace miravel
