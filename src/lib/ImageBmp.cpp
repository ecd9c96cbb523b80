// A small reader of our own for the BMP files people actually have: the Windows info header
// (or its later, longer versions) with uncompressed 8-bit palette, 24-bit or 32-bit pixels.
// Compressed and bit-field variants are refused rather than guessed at.

#include <cstdint>
#include <cstring>

#include "lib/ImageDecoders.h"

namespace miravel::image_detail {
namespace {

std::uint32_t readU32(std::string_view bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t readU16(std::string_view bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kUncompressed = 0;

}  // namespace

Result<Image> decodeBmp(std::string_view bytes, const DecodeOptions& options) {
    if (bytes.size() < kFileHeaderSize + 40) {
        return imageError("The BMP file is truncated.");
    }
    const std::uint32_t dataOffset = readU32(bytes, 10);
    const std::uint32_t headerSize = readU32(bytes, kFileHeaderSize);
    if (headerSize != 40 && headerSize != 108 && headerSize != 124) {
        return imageError("This kind of BMP file is not supported.");
    }
    const auto width = static_cast<std::int64_t>(static_cast<std::int32_t>(readU32(bytes, 18)));
    const auto rawHeight = static_cast<std::int64_t>(static_cast<std::int32_t>(readU32(bytes, 22)));
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -rawHeight : rawHeight;
    const std::uint16_t planes = readU16(bytes, 26);
    const std::uint16_t bitsPerPixel = readU16(bytes, 28);
    const std::uint32_t compression = readU32(bytes, 30);
    std::uint32_t paletteSize = readU32(bytes, 46);

    if (planes != 1 || compression != kUncompressed ||
        (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return imageError("This kind of BMP file is not supported.");
    }
    if (width <= 0 || height <= 0) {
        return imageError("The BMP file has no pixels.");
    }
    if (!imageSizeAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height),
                          options.maxPixels)) {
        return tooLargeError(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    }
    // Rows are padded to whole 32-bit words.
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
    if (dataOffset > bytes.size() ||
        stride * static_cast<std::uint64_t>(height) > bytes.size() - dataOffset) {
        return imageError("The BMP file is truncated.");
    }

    std::uint8_t palette[256][3] = {};
    if (bitsPerPixel == 8) {
        if (paletteSize == 0 || paletteSize > 256) {
            paletteSize = 256;
        }
        const std::size_t paletteStart = kFileHeaderSize + headerSize;
        // A palette may be cut short by the pixel data; missing entries stay black.
        for (std::uint32_t i = 0; i < paletteSize; ++i) {
            const std::size_t at = paletteStart + std::size_t{i} * 4;
            if (at + 3 > dataOffset || at + 3 > bytes.size()) {
                break;
            }
            palette[i][0] = static_cast<std::uint8_t>(bytes[at + 2]);
            palette[i][1] = static_cast<std::uint8_t>(bytes[at + 1]);
            palette[i][2] = static_cast<std::uint8_t>(bytes[at]);
        }
    }

    Image image = Image::blank(static_cast<int>(width), static_cast<int>(height));
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data()) + dataOffset;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = data + stride * (topDown ? y : image.height - 1 - y);
        std::uint8_t* out = image.pixel(0, y);
        for (int x = 0; x < image.width; ++x, out += 4) {
            if (bitsPerPixel == 8) {
                std::memcpy(out, palette[row[x]], 3);
            } else {
                const std::uint8_t* in = row + static_cast<std::size_t>(x) * (bitsPerPixel / 8);
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            // The fourth byte of uncompressed 32-bit pixels is unused padding, not alpha.
            out[3] = 255;
        }
    }
    return image;
}

}  // namespace miravel::image_detail
