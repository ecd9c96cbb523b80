#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h uses size_t and FILE without including their headers, and jerror.h its types.
#include <jpeglib.h>
// Needs jpeglib.h above.
#include <jerror.h>

#include "lib/ImageDecoders.h"
#include "lib/ImageThumbnail.h"

namespace miravel {
namespace {

// libjpeg's default error handler calls exit(); ours jumps back to the caller instead.
struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool truncated;
};

// A progressive file can announce endless tiny scans; far more than any encoder writes is
// treated as an attack on decoding time.
constexpr int kMaxScans = 500;
// Progressive decoding buffers the whole coefficient image; this bounds that buffer.
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;

[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void onMessage(j_common_ptr info, int level) {
    // A warning: the only one that matters is data ending early, which would otherwise
    // silently pad the picture with grey.
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<JpegErrors*>(info->err)->truncated = true;
    }
}

void onProgress(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans) {
        info->err->error_exit(info);
    }
}

struct JpegReader {
    const unsigned char* data;
    std::size_t size;
    DecodeOptions options;
    bool tooLarge;
    bool cmyk;
    Image image;
};

// Left by longjmp on any libjpeg error: no local here may own memory.
bool readJpeg(jpeg_decompress_struct* info, JpegErrors* errors, JpegReader* reader) {
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_create_decompress(info);
    info->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(info, reader->data, reader->size);
    jpeg_read_header(info, TRUE);
    if (!imageSizeAllowed(info->image_width, info->image_height, reader->options.maxPixels)) {
        reader->tooLarge = true;
        return false;
    }
    reader->cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = reader->cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    const int checkOnlyWithin = reader->options.checkOnlyWithin;
    if (checkOnlyWithin > 0 && info->image_width <= static_cast<JDIMENSION>(checkOnlyWithin) &&
        info->image_height <= static_cast<JDIMENSION>(checkOnlyWithin)) {
        info->scale_num = 1;
        info->scale_denom = 8;
    } else if (reader->options.thumbnailEdge > 0) {
        const ThumbnailPlan plan =
            planThumbnail(static_cast<int>(info->image_width), static_cast<int>(info->image_height),
                          reader->options.thumbnailEdge);
        // The smallest DCT scale that still leaves at least the pixels the thumbnail needs.
        info->scale_denom = 8;
        for (unsigned int numerator = 1; numerator <= 8; ++numerator) {
            info->scale_num = numerator;
            jpeg_calc_output_dimensions(info);
            if (static_cast<int>(info->output_width) >= plan.scaledWidth &&
                static_cast<int>(info->output_height) >= plan.scaledHeight) {
                break;
            }
        }
    }
    jpeg_start_decompress(info);
    if (info->output_components != 4) {
        return false;
    }
    reader->image =
        Image::blank(static_cast<int>(info->output_width), static_cast<int>(info->output_height));
    reader->image.sourceWidth = static_cast<int>(info->image_width);
    reader->image.sourceHeight = static_cast<int>(info->image_height);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = reader->image.pixel(0, static_cast<int>(info->output_scanline));
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return !errors->truncated;
}

// CMYK JPEGs come from print tools, which store the inks inverted.
void convertInvertedCmyk(Image& image) {
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        std::uint8_t* p = image.pixels.data() + i;
        const unsigned k = p[3];
        p[0] = static_cast<std::uint8_t>(p[0] * k / 255);
        p[1] = static_cast<std::uint8_t>(p[1] * k / 255);
        p[2] = static_cast<std::uint8_t>(p[2] * k / 255);
        p[3] = 255;
    }
}

struct JpegWriter {
    const std::uint8_t* rgb;
    int width;
    int height;
    int quality;
    unsigned char* output;
    unsigned long outputSize;
};

bool writeJpeg(jpeg_compress_struct* info, JpegErrors* errors, JpegWriter* writer) {
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_create_compress(info);
    jpeg_mem_dest(info, &writer->output, &writer->outputSize);
    info->image_width = static_cast<JDIMENSION>(writer->width);
    info->image_height = static_cast<JDIMENSION>(writer->height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, writer->quality, TRUE);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        auto* row = const_cast<JSAMPROW>(
            writer->rgb + static_cast<std::size_t>(info->next_scanline) * writer->width * 3);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

namespace image_detail {

Result<Image> decodeJpeg(std::string_view bytes, const DecodeOptions& options) {
    JpegReader reader{reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(),
                      options,
                      false,
                      false,
                      {}};
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = onProgress;
    info.progress = &progress;
    const bool read = readJpeg(&info, &errors, &reader);
    const std::uint64_t width = info.image_width;
    const std::uint64_t height = info.image_height;
    jpeg_destroy_decompress(&info);
    if (reader.tooLarge) {
        return tooLargeError(width, height);
    }
    if (!read) {
        return imageError("The JPEG image is damaged.");
    }
    if (reader.cmyk) {
        convertInvertedCmyk(reader.image);
    }
    return std::move(reader.image);
}

}  // namespace image_detail

Result<std::string> encodeJpeg(const Image& image, int quality) {
    if (image.width <= 0 || image.height <= 0) {
        return image_detail::imageError("An empty image cannot be saved.");
    }
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * image.height * 3);
    for (std::size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
        const unsigned alpha = image.pixels[i + 3];
        for (int c = 0; c < 3; ++c) {
            rgb[o + c] = static_cast<std::uint8_t>(
                (image.pixels[i + c] * alpha + 255 * (255 - alpha) + 127) / 255);
        }
    }
    JpegWriter writer{rgb.data(), image.width, image.height, std::clamp(quality, 1, 100), nullptr,
                      0};
    jpeg_compress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    const bool written = writeJpeg(&info, &errors, &writer);
    jpeg_destroy_compress(&info);
    std::string bytes;
    if (written) {
        bytes.assign(reinterpret_cast<const char*>(writer.output), writer.outputSize);
    }
    std::free(writer.output);
    if (!written) {
        return image_detail::imageError("The image could not be encoded as JPEG.");
    }
    return bytes;
}

}  // namespace miravel
