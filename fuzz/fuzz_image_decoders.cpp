#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "lib/Image.h"
#include "lib/ImageThumbnail.h"

using miravel::decodeImage;
using miravel::DecodeOptions;
using miravel::Image;
using miravel::kThumbnailEdge;

namespace {

[[noreturn]] void fault(const char* what, const Image& image) {
    std::fprintf(stderr, "%s (%d x %d, source %d x %d)\n", what, image.width, image.height,
                 image.sourceWidth, image.sourceHeight);
    std::abort();
}

// A pixel budget far below the product's keeps each run fast; the size checks it exercises
// are the same.
constexpr std::uint64_t kFuzzPixels = 1'000'000;

void checkThumbnail(const Image& image) {
    const Image thumbnail = miravel::createThumbnail(image);
    const int w = image.sourceWidth;
    const int h = image.sourceHeight;
    if (thumbnail.pixels.size() !=
        static_cast<std::size_t>(thumbnail.width) * thumbnail.height * 4) {
        fault("thumbnail pixel buffer has the wrong size", image);
    }
    if (w >= kThumbnailEdge && h >= kThumbnailEdge) {
        if (thumbnail.width != kThumbnailEdge || thumbnail.height != kThumbnailEdge) {
            fault("a large picture must become exactly the square", image);
        }
    } else if (w <= kThumbnailEdge && h <= kThumbnailEdge) {
        if (thumbnail.width != w || thumbnail.height != h) {
            fault("a picture that fits must keep its size", image);
        }
    } else if (std::max(thumbnail.width, thumbnail.height) != kThumbnailEdge ||
               std::min(thumbnail.width, thumbnail.height) > kThumbnailEdge ||
               std::min(thumbnail.width, thumbnail.height) < 1 ||
               (w > h) != (thumbnail.width > thumbnail.height)) {
        fault("a fitted picture must touch the square with its longer side", image);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (int edge : {0, kThumbnailEdge}) {
        auto image =
            decodeImage(bytes, DecodeOptions{.thumbnailEdge = edge, .maxPixels = kFuzzPixels});
        if (!image) {
            continue;
        }
        if (image->width <= 0 || image->height <= 0 ||
            image->pixels.size() != static_cast<std::size_t>(image->width) * image->height * 4 ||
            image->width > image->sourceWidth || image->height > image->sourceHeight) {
            fault("decoded image is inconsistent", *image);
        }
        checkThumbnail(*image);
    }
    return 0;
}
