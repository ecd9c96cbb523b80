#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "lib/ImageDecoders.h"

namespace miravel::image_detail {
namespace {

struct TiffSource {
    const unsigned char* data;
    std::size_t size;
    std::size_t offset;
};

tmsize_t readData(thandle_t handle, void* out, tmsize_t length) {
    auto* source = static_cast<TiffSource*>(handle);
    if (length < 0 || source->offset >= source->size) {
        return 0;
    }
    const std::size_t count =
        std::min(static_cast<std::size_t>(length), source->size - source->offset);
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeData(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekData(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TiffSource*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) {
        base = source->offset;
    } else if (whence == SEEK_END) {
        base = source->size;
    }
    if (offset > UINT64_MAX - base) {
        return static_cast<toff_t>(-1);
    }
    // Seeking past the end is allowed; reads there simply return nothing.
    source->offset = static_cast<std::size_t>(std::min<toff_t>(base + offset, SIZE_MAX));
    return source->offset;
}

int closeData(thandle_t) {
    return 0;
}
toff_t sizeOfData(thandle_t handle) {
    return static_cast<TiffSource*>(handle)->size;
}

// libtiff reports through handlers that print by default; a failure shows in return values.
int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// No single allocation of libtiff's (strips, tiles, tag arrays) may exceed what the largest
// allowed picture needs, however large the file says its parts are.
constexpr tmsize_t kMaxSingleAllocation = static_cast<tmsize_t>(kMaxImagePixels) * 4;

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

Result<Image> decodeTiff(std::string_view bytes, const DecodeOptions& options) {
    TiffSource source{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> openOptions(TIFFOpenOptionsAlloc());
    if (!openOptions) {
        return imageError("The TIFF reader could not start.");
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(openOptions.get(), kMaxSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(openOptions.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(openOptions.get(), quiet, nullptr);
    // "m": never map the file, the bytes are already in memory.
    std::unique_ptr<TIFF, TiffCloser> tiff(
        TIFFClientOpenExt("image", "rm", &source, readData, writeData, seekData, closeData,
                          sizeOfData, nullptr, nullptr, openOptions.get()));
    if (!tiff) {
        return imageError("The TIFF image is damaged.");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
        return imageError("The TIFF image is damaged.");
    }
    if (!imageSizeAllowed(width, height, options.maxPixels)) {
        return tooLargeError(width, height);
    }
    char message[1024] = {};
    if (TIFFRGBAImageOK(tiff.get(), message) != 1) {
        return imageError("This kind of TIFF image is not supported.");
    }
    Image image = Image::blank(static_cast<int>(width), static_cast<int>(height));
    // libtiff fills 32-bit words holding R, G, B, A from the low byte up, which in memory of
    // a little-endian machine is already our layout: no second buffer of the picture's size.
    auto* raster = reinterpret_cast<std::uint32_t*>(image.pixels.data());
    if (TIFFReadRGBAImageOriented(tiff.get(), width, height, raster, ORIENTATION_TOPLEFT, 1) != 1) {
        return imageError("The TIFF image is damaged.");
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
            std::reverse(image.pixels.data() + i, image.pixels.data() + i + 4);
        }
    }
    return image;
}

}  // namespace miravel::image_detail
