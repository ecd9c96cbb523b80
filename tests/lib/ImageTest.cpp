#include "lib/Image.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "lib/ImageSamples.h"

namespace miravel {
namespace {

using namespace miravel::testing;

struct Codec {
    const char* name;
    ImageFormat format;
    std::function<std::string(const Image&)> encode;
    bool lossless;
};

const std::vector<Codec>& codecs() {
    static const std::vector<Codec> all = {
        {"png", ImageFormat::Png, encodePng, true},
        {"gif", ImageFormat::Gif, encodeGif, true},
        {"tiff", ImageFormat::Tiff, encodeTiff, true},
        {"bmp24", ImageFormat::Bmp, [](const Image& i) { return encodeBmp(i, 24); }, true},
        {"bmp32", ImageFormat::Bmp, [](const Image& i) { return encodeBmp(i, 32); }, true},
        {"bmp8", ImageFormat::Bmp, [](const Image& i) { return encodeBmp(i, 8); }, true},
        {"jpeg", ImageFormat::Jpeg, [](const Image& i) { return *encodeJpeg(i, 95); }, false},
    };
    return all;
}

TEST(ImageDecoding, everyFormatRoundTripsItsPixels) {
    // Odd sizes catch row padding and stride mistakes.
    const Image original = makeImage(37, 23, patternColour);
    for (const Codec& codec : codecs()) {
        SCOPED_TRACE(codec.name);
        const std::string bytes = codec.encode(original);
        EXPECT_EQ(detectImageFormat(bytes), codec.format);
        auto decoded = decodeImage(bytes);
        ASSERT_TRUE(decoded) << decoded.error().description;
        ASSERT_EQ(decoded->width, 37);
        ASSERT_EQ(decoded->height, 23);
        int worst = 0;
        for (std::size_t i = 0; i < original.pixels.size(); ++i) {
            worst = std::max(worst, std::abs(original.pixels[i] - decoded->pixels[i]));
        }
        // JPEG smears the cell borders of a saturated checker; the cells stay recognisable.
        EXPECT_LE(worst, codec.lossless ? 0 : 160);
        if (!codec.lossless) {
            const std::uint8_t* centre = decoded->pixel(5, 1);  // cell of index 1: red
            EXPECT_GT(centre[0], 200);
            EXPECT_LT(centre[2], 60);
        }
    }
}

TEST(ImageDecoding, pngKeepsTransparency) {
    const Image original = makeImage(5, 5, [](int x, int) {
        return std::array<std::uint8_t, 4>{10, 20, 30, static_cast<std::uint8_t>(x * 60)};
    });
    auto decoded = decodeImage(encodePng(original));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixels, original.pixels);
}

TEST(ImageDecoding, truncatedFilesAreErrors) {
    const Image original = makeImage(40, 40, patternColour);
    for (const Codec& codec : codecs()) {
        SCOPED_TRACE(codec.name);
        const std::string bytes = codec.encode(original);
        for (std::size_t keep : {bytes.size() / 2, std::size_t{20}, std::size_t{3}}) {
            EXPECT_FALSE(decodeImage(std::string_view(bytes).substr(0, keep))) << keep;
        }
    }
}

TEST(ImageDecoding, randomBytesAreErrorsEvenBehindAValidMagic) {
    std::mt19937 random(7);
    const char* magics[] = {"", "\x89PNG\r\n\x1a\n", "\xff\xd8\xff", "GIF89a", "II*", "MM", "BM"};
    for (int round = 0; round < 200; ++round) {
        std::string bytes = magics[round % 7];
        if (round % 7 == 4) {
            bytes.push_back('\0');
        } else if (round % 7 == 5) {
            bytes += std::string("\0*", 2);
        }
        const int length = static_cast<int>(random() % 600);
        for (int i = 0; i < length; ++i) {
            bytes.push_back(static_cast<char>(random()));
        }
        EXPECT_FALSE(decodeImage(bytes)) << round;
    }
    EXPECT_FALSE(decodeImage(""));
    EXPECT_EQ(decodeImage("plain text").error().domain, kImageErrorDomain);
}

TEST(ImageDecoding, unsupportedBmpVariantsAreRefused) {
    std::string rle = encodeBmp(makeImage(8, 8, patternColour), 8);
    rle[30] = 1;  // compression: RLE8
    EXPECT_FALSE(decodeImage(rle));
    std::string sixteen = encodeBmp(makeImage(8, 8, patternColour), 24);
    sixteen[28] = 16;
    EXPECT_FALSE(decodeImage(sixteen));
}

// Rewrites the first SOF marker's height and width.
std::string withJpegSize(std::string bytes, int width, int height) {
    const std::size_t sof = bytes.find("\xff\xc0");
    bytes[sof + 5] = static_cast<char>(height >> 8);
    bytes[sof + 6] = static_cast<char>(height & 0xff);
    bytes[sof + 7] = static_cast<char>(width >> 8);
    bytes[sof + 8] = static_cast<char>(width & 0xff);
    return bytes;
}

// Rewrites the width and length tags of a little-endian TIFF's first directory.
std::string withTiffSize(std::string bytes, std::uint32_t width, std::uint32_t height) {
    auto at = [&](std::size_t offset, int size) {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = value << 8 | static_cast<std::uint8_t>(bytes[offset + i]);
        }
        return value;
    };
    const std::size_t directory = at(4, 4);
    for (std::uint32_t i = 0; i < at(directory, 2); ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        const std::uint32_t tag = at(entry, 2);
        if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH) {
            const std::uint32_t value = tag == TIFFTAG_IMAGEWIDTH ? width : height;
            const int size = at(entry + 2, 2) == TIFF_SHORT ? 2 : 4;
            for (int b = 0; b < size; ++b) {
                bytes[entry + 8 + b] = static_cast<char>(value >> (8 * b) & 0xff);
            }
        }
    }
    return bytes;
}

std::string pngHeaderClaiming(std::uint32_t width, std::uint32_t height) {
    std::string chunk = "IHDR";
    for (std::uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            chunk.push_back(static_cast<char>(value >> shift & 0xff));
        }
    }
    chunk += std::string("\x08\x06\x00\x00\x00", 5);
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), chunk.size());
    std::string bytes = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12) + chunk;
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>(crc >> shift & 0xff));
    }
    return bytes + std::string("\0\0\0\0IDAT", 8);
}

TEST(ImageDecoding, headersClaimingHugePicturesAreRefusedBeforeDecoding) {
    const Image small = makeImage(8, 8, patternColour);
    const std::string gifScreen("GIF89a\xff\xff\xff\xff\x00\x00\x00", 13);
    const std::string gifFrame("\x2c\0\0\0\0\xff\xff\xff\xff\x00\x02\x02\x44\x01\x00\x3b", 16);
    const std::vector<std::pair<const char*, std::string>> bombs = {
        {"png", pngHeaderClaiming(100000, 100000)},
        {"png over the pixel budget", pngHeaderClaiming(20000, 20000)},
        {"bmp", encodeBmp(small, 24, 100000, 100000)},
        {"bmp top-down", encodeBmp(small, 24, 100000, -100000)},
        {"gif", gifScreen + gifFrame},
        {"jpeg", withJpegSize(*encodeJpeg(small), 60000, 60000)},
        {"tiff", withTiffSize(encodeTiff(small), 40000, 40000)},
    };
    for (const auto& [name, bytes] : bombs) {
        SCOPED_TRACE(name);
        auto decoded = decodeImage(bytes);
        ASSERT_FALSE(decoded);
        // Code 2: refused for its size, not stumbling over the missing pixel data.
        EXPECT_EQ(decoded.error().code, 2) << decoded.error().description;
    }
}

TEST(ImageDecoding, theBudgetCanBeTightened) {
    const std::string bytes = encodePng(makeImage(64, 64, patternColour));
    EXPECT_TRUE(decodeImage(bytes, {.maxPixels = 64 * 64}));
    EXPECT_FALSE(decodeImage(bytes, {.maxPixels = 64 * 64 - 1}));
}

}  // namespace
}  // namespace miravel
