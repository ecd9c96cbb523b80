#include "lib/ImageOrientation.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace miravel {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
// The camera writes its Exif before the picture; a file with more segments than this
// before one is not worth walking further.
constexpr int kMaxSegments = 64;
// Far more entries than IFD0 of any camera holds.
constexpr std::uint16_t kMaxEntries = 512;

// Reads within one segment; every read fails outside it instead of reaching past it.
class Reader {
public:
    Reader(std::string_view bytes, bool bigEndian) : m_bytes(bytes), m_bigEndian(bigEndian) {}

    std::optional<std::uint16_t> u16(std::size_t offset) const {
        if (offset > m_bytes.size() || m_bytes.size() - offset < 2) {
            return std::nullopt;
        }
        const auto b0 = static_cast<std::uint8_t>(m_bytes[offset]);
        const auto b1 = static_cast<std::uint8_t>(m_bytes[offset + 1]);
        return static_cast<std::uint16_t>(m_bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        const auto first = u16(offset);
        const auto second = u16(offset + 2);
        if (!first || !second) {
            return std::nullopt;
        }
        return m_bigEndian ? (std::uint32_t{*first} << 16) | *second
                           : (std::uint32_t{*second} << 16) | *first;
    }

private:
    std::string_view m_bytes;
    bool m_bigEndian;
};

// The orientation in a TIFF structure (what follows "Exif\0\0"), from IFD0.
std::optional<std::uint16_t> tiffOrientation(std::string_view tiff) {
    bool bigEndian = false;
    if (tiff.starts_with("MM")) {
        bigEndian = true;
    } else if (!tiff.starts_with("II")) {
        return std::nullopt;
    }
    const Reader reader(tiff, bigEndian);
    const auto magic = reader.u16(2);
    const auto ifd = reader.u32(4);
    if (magic != 42 || !ifd) {
        return std::nullopt;
    }
    const auto count = reader.u16(*ifd);
    if (!count || *count > kMaxEntries) {
        return std::nullopt;
    }
    for (std::uint16_t i = 0; i < *count; ++i) {
        // 12 bytes an entry: tag, type, count, then the value itself when it fits in 4.
        const std::size_t entry = std::size_t{*ifd} + 2 + std::size_t{i} * 12;
        const auto tag = reader.u16(entry);
        if (!tag) {
            return std::nullopt;
        }
        if (*tag != kOrientationTag) {
            continue;
        }
        if (reader.u16(entry + 2) != kShortType || reader.u32(entry + 4) != 1) {
            return std::nullopt;
        }
        return reader.u16(entry + 8);
    }
    return std::nullopt;
}

}  // namespace

ImageOrientation jpegOrientation(std::string_view bytes) {
    if (!bytes.starts_with("\xff\xd8")) {
        return ImageOrientation::Normal;
    }
    std::size_t position = 2;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        if (bytes.size() - position < 4 || bytes[position] != '\xff') {
            break;
        }
        const auto marker = static_cast<std::uint8_t>(bytes[position + 1]);
        // Start of scan or end of image: the picture data begins, no Exif came before it.
        if (marker == 0xda || marker == 0xd9) {
            break;
        }
        const auto length = *Reader(bytes, true).u16(position + 2);
        if (length < 2 || bytes.size() - position - 2 < length) {
            break;
        }
        const std::string_view body = bytes.substr(position + 4, length - 2);
        if (marker == 0xe1 && body.starts_with(std::string_view("Exif\0\0", 6))) {
            const auto value = tiffOrientation(body.substr(6));
            if (value && *value >= 1 && *value <= 8) {
                return static_cast<ImageOrientation>(*value);
            }
            return ImageOrientation::Normal;
        }
        position += 2 + std::size_t{length};
    }
    return ImageOrientation::Normal;
}

Image orientImage(Image image, ImageOrientation orientation) {
    if (orientation == ImageOrientation::Normal || image.width <= 0 || image.height <= 0) {
        return image;
    }
    const int w = image.width;
    const int h = image.height;
    const bool turned = orientation >= ImageOrientation::Transpose;
    Image result = Image::blank(turned ? h : w, turned ? w : h);
    result.sourceWidth = turned ? image.sourceHeight : image.sourceWidth;
    result.sourceHeight = turned ? image.sourceWidth : image.sourceHeight;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Where the stored pixel (x, y) shows.
            int tx = x;
            int ty = y;
            switch (orientation) {
                case ImageOrientation::Normal:
                    break;
                case ImageOrientation::MirrorHorizontal:
                    tx = w - 1 - x;
                    break;
                case ImageOrientation::Rotate180:
                    tx = w - 1 - x;
                    ty = h - 1 - y;
                    break;
                case ImageOrientation::MirrorVertical:
                    ty = h - 1 - y;
                    break;
                case ImageOrientation::Transpose:
                    tx = y;
                    ty = x;
                    break;
                case ImageOrientation::Rotate90Clockwise:
                    tx = h - 1 - y;
                    ty = x;
                    break;
                case ImageOrientation::Transverse:
                    tx = h - 1 - y;
                    ty = w - 1 - x;
                    break;
                case ImageOrientation::Rotate90CounterClockwise:
                    tx = y;
                    ty = w - 1 - x;
                    break;
            }
            std::memcpy(result.pixel(tx, ty), image.pixel(x, y), 4);
        }
    }
    return result;
}

}  // namespace miravel
