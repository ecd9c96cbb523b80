#include "lib/ImageOrientation.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/ImageSamples.h"
#include "lib/ImageThumbnail.h"

namespace miravel {
namespace {

using Colour = std::array<std::uint8_t, 4>;
constexpr Colour kRed{255, 0, 0, 255};
constexpr Colour kGreen{0, 255, 0, 255};
constexpr Colour kBlue{0, 0, 255, 255};
constexpr Colour kWhite{255, 255, 255, 255};

// As the sensor stored it: red top left, green top right, blue bottom left, white bottom
// right, twice as wide as high.
std::string storedJpeg(int width, int height) {
    const Image image = testing::makeImage(width, height, [&](int x, int y) {
        const bool right = x >= width / 2;
        const bool bottom = y >= height / 2;
        return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
    });
    return *encodeJpeg(image);
}

std::string bigEndian16(unsigned value) {
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xff)};
}

// An APP1 segment as a camera writes it, spliced in right after the start of image: "Exif",
// a TIFF header in either byte order and IFD0 with one entry, the orientation.
std::string withOrientation(const std::string& jpeg, unsigned orientation, bool motorola) {
    auto u16 = [&](unsigned value) {
        const std::string big = bigEndian16(value);
        return motorola ? big : std::string{big[1], big[0]};
    };
    auto u32 = [&](unsigned value) {
        return motorola ? u16(value >> 16) + u16(value & 0xffff)
                        : u16(value & 0xffff) + u16(value >> 16);
    };
    const std::string tiff = std::string(motorola ? "MM" : "II") + u16(42) + u32(8) + u16(1) +
                             u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    return jpeg.substr(0, 2) + "\xff\xe1" + bigEndian16(static_cast<unsigned>(body.size()) + 2) +
           body + jpeg.substr(2);
}

void expectColourAt(const Image& image, int x, int y, const Colour& colour) {
    const std::uint8_t* pixel = image.pixel(x, y);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(pixel[c], colour[c], 40) << "at " << x << "," << y << " channel " << c;
    }
}

// Corners as shown: top left, top right, bottom left, bottom right.
void expectCorners(const Image& image, const Colour& topLeft, const Colour& topRight,
                   const Colour& bottomLeft, const Colour& bottomRight) {
    const int w = image.width;
    const int h = image.height;
    expectColourAt(image, w / 4, h / 4, topLeft);
    expectColourAt(image, w * 3 / 4, h / 4, topRight);
    expectColourAt(image, w / 4, h * 3 / 4, bottomLeft);
    expectColourAt(image, w * 3 / 4, h * 3 / 4, bottomRight);
}

TEST(ImageOrientation, phonePhotosComeOutUprightFromThePhotoPath) {
    const std::string stored = storedJpeg(64, 32);
    struct Case {
        unsigned orientation;
        bool motorola;
        int width, height;
        Colour topLeft, topRight, bottomLeft, bottomRight;
    };
    const Case cases[] = {
        {1, true, 64, 32, kRed, kGreen, kBlue, kWhite},
        {6, true, 32, 64, kBlue, kRed, kWhite, kGreen},   // held upright: turn clockwise
        {6, false, 32, 64, kBlue, kRed, kWhite, kGreen},  // Intel byte order
        {3, false, 64, 32, kWhite, kBlue, kGreen, kRed},  // upside down
        {8, true, 32, 64, kGreen, kWhite, kRed, kBlue},   // turn counter-clockwise
        {2, true, 64, 32, kGreen, kRed, kWhite, kBlue},
        {5, true, 32, 64, kRed, kBlue, kGreen, kWhite},
        {7, true, 32, 64, kWhite, kGreen, kBlue, kRed},
        {9, true, 64, 32, kRed, kGreen, kBlue, kWhite},  // no such orientation: as stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "orientation " << c.orientation);
        const std::string jpeg = withOrientation(stored, c.orientation, c.motorola);
        auto photo = preparePhoto(jpeg);
        ASSERT_TRUE(photo);
        ASSERT_EQ(photo->width, c.width);
        ASSERT_EQ(photo->height, c.height);
        expectCorners(*photo, c.topLeft, c.topRight, c.bottomLeft, c.bottomRight);
        // And so is what gets stored.
        auto thumbnail = decodeImage(*thumbnailJpeg(jpeg));
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->width, c.width);
    }
}

// A reduced decode plans for the stored size; after the turn the thumbnail must still be the
// full square, cut from the turned picture.
TEST(ImageOrientation, aLargeTurnedPhotoStillFillsTheThumbnail) {
    auto photo = preparePhoto(withOrientation(storedJpeg(1200, 600), 6, true));
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->width, kThumbnailEdge);
    EXPECT_EQ(photo->height, kThumbnailEdge);
    // The cut keeps the middle of the turned picture: blue over white on the left half.
    expectColourAt(*photo, kThumbnailEdge / 4, kThumbnailEdge / 8, kBlue);
    expectColourAt(*photo, kThumbnailEdge * 3 / 4, kThumbnailEdge * 7 / 8, kGreen);
}

TEST(ImageOrientation, damagedOrMissingExifLeavesThePictureAsStored) {
    const std::string stored = storedJpeg(16, 8);
    const std::string good = withOrientation(stored, 6, true);
    EXPECT_EQ(jpegOrientation(good), ImageOrientation::Rotate90Clockwise);
    EXPECT_EQ(jpegOrientation(stored), ImageOrientation::Normal);
    EXPECT_EQ(jpegOrientation(""), ImageOrientation::Normal);
    EXPECT_EQ(jpegOrientation("\xff\xd8"), ImageOrientation::Normal);
    // Every cut through the segment, and every byte of it spoiled, reads safely.
    const std::size_t segmentEnd = 2 + 4 + 6 + 26;
    for (std::size_t keep = 0; keep < segmentEnd; ++keep) {
        EXPECT_EQ(jpegOrientation(good.substr(0, keep)), ImageOrientation::Normal) << keep;
    }
    for (std::size_t at = 2; at < segmentEnd; ++at) {
        for (const char value : {'\x00', '\xff', '\x7f'}) {
            std::string spoiled = good;
            spoiled[at] = value;
            const auto orientation = static_cast<int>(jpegOrientation(spoiled));
            EXPECT_GE(orientation, 1);
            EXPECT_LE(orientation, 8);
        }
    }
    // An IFD offset pointing far outside the segment.
    std::string far = good;
    far[2 + 4 + 6 + 4] = '\x7f';
    EXPECT_EQ(jpegOrientation(far), ImageOrientation::Normal);
}

}  // namespace
}  // namespace miravel
