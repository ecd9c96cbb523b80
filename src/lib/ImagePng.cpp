#include <png.h>

#include <csetjmp>
#include <cstring>

#include "lib/ImageDecoders.h"

namespace miravel::image_detail {
namespace {

struct PngReader {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    std::uint64_t maxPixels = 0;
    bool tooLarge = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Image image;
    std::vector<png_bytep> rows;
};

void readData(png_structp png, png_bytep out, std::size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->offset) {
        png_error(png, "truncated");
    }
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
}

// libpng's default handlers print and abort; ours leave through the jump buffer instead.
void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// libpng leaves this function by longjmp on any error, so it keeps no local with a
// destructor: everything that owns memory lives in the reader.
bool readPng(png_structp png, png_infop info, PngReader* reader) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, reader, readData);
    // Our own budget below decides, so that an oversized picture is reported as such.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    reader->width = png_get_image_width(png, info);
    reader->height = png_get_image_height(png, info);
    // No pixel memory exists yet: the header alone decides.
    if (!imageSizeAllowed(reader->width, reader->height, reader->maxPixels)) {
        reader->tooLarge = true;
        return false;
    }
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(reader->width) * 4) {
        png_error(png, "unexpected row layout");
    }
    reader->image = Image::blank(static_cast<int>(reader->width), static_cast<int>(reader->height));
    reader->rows.resize(reader->height);
    for (std::uint32_t y = 0; y < reader->height; ++y) {
        reader->rows[y] = reader->image.pixel(0, static_cast<int>(y));
    }
    png_read_image(png, reader->rows.data());
    // Trailing chunks are not read: damage after the pixels does not spoil the picture.
    return true;
}

}  // namespace

Result<Image> decodePng(std::string_view bytes, const DecodeOptions& options) {
    PngReader reader;
    reader.data = reinterpret_cast<const unsigned char*>(bytes.data());
    reader.size = bytes.size();
    reader.maxPixels = options.maxPixels;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) {
        return imageError("The PNG reader could not start.");
    }
    png_infop info = png_create_info_struct(png);
    const bool read = info != nullptr && readPng(png, info, &reader);
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (reader.tooLarge) {
        return tooLargeError(reader.width, reader.height);
    }
    if (!read) {
        return imageError("The PNG image is damaged.");
    }
    return std::move(reader.image);
}

}  // namespace miravel::image_detail
