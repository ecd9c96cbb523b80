#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"

namespace miravel {

inline constexpr const char* kImageErrorDomain = "miravel.image";
enum class ImageErrorCode { Unreadable = 1, TooLarge = 2 };

// Pixel budget checked against every header before any pixel memory is reserved, so that a
// few bytes claiming a gigantic picture (a decompression bomb) are refused instead of
// exhausting memory.
inline constexpr std::uint32_t kMaxImageSide = 30000;
inline constexpr std::uint64_t kMaxImagePixels = 100'000'000;

bool imageSizeAllowed(std::uint64_t width, std::uint64_t height,
                      std::uint64_t maxPixels = kMaxImagePixels);

// 8-bit RGBA pixels, rows top to bottom without padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    // The size the file describes. A decoder allowed to reduce (see DecodeOptions) may hand
    // back fewer pixels; the thumbnail rule still has to see the photo's real size.
    int sourceWidth = 0;
    int sourceHeight = 0;

    static Image blank(int width, int height);
    std::uint8_t* pixel(int x, int y) {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
    const std::uint8_t* pixel(int x, int y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
};

enum class ImageFormat { Unknown, Png, Jpeg, Gif, Tiff, Bmp };

// By the leading magic bytes; the file name is never trusted.
ImageFormat detectImageFormat(std::string_view bytes);
// "image/png", "image/jpeg"...; empty for Unknown.
std::string_view imageMediaType(ImageFormat format);

struct DecodeOptions {
    // When positive, a JPEG may be decoded at a reduced size (libjpeg's DCT scaling, far
    // cheaper than decoding everything and throwing most of it away) as long as the result
    // still holds enough pixels for a thumbnail of this edge.
    int thumbnailEdge = 0;
    // When positive, a JPEG at most this large on both sides is only checked, for a caller
    // that keeps the original bytes: all of its data is still read and entropy-decoded (so
    // damage or an early end is found as by a full decode), but its pixels come out at an
    // eighth of each side. The image's source size is the picture's own.
    int checkOnlyWithin = 0;
    // A caller that only ever needs small pictures (the fuzzer) may tighten the budget.
    std::uint64_t maxPixels = kMaxImagePixels;
};

// PNG, JPEG, GIF (first frame), TIFF or BMP. Anything else, damaged data or a size over the
// budget is an error; nothing here aborts or exits.
[[nodiscard]] Result<Image> decodeImage(std::string_view bytes, const DecodeOptions& options = {});

// Baseline JPEG at `quality` (0-100). Transparent pixels are laid over white, which is how
// a photo without alpha shows them.
[[nodiscard]] Result<std::string> encodeJpeg(const Image& image, int quality = 90);

}  // namespace miravel
