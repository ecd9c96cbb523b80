#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "lib/ImageDecoders.h"

namespace miravel::image_detail {
namespace {

struct GifSource {
    const GifByteType* data;
    std::size_t size;
    std::size_t offset;
};

int readData(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(length, 0)), source->size - source->offset);
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Draws the first frame onto the logical screen; pixels it does not cover stay transparent.
Result<Image> readFirstFrame(GifFileType* gif, const DecodeOptions& options) {
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
            return imageError("The GIF image is damaged.");
        }
        if (record == TERMINATE_RECORD_TYPE) {
            return imageError("The GIF file has no image.");
        }
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                return imageError("The GIF image is damaged.");
            }
            while (block != nullptr) {
                GraphicsControlBlock control{};
                if (code == GRAPHICS_EXT_FUNC_CODE &&
                    DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
                    transparent = control.TransparentColor;
                }
                code = 0;
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    return imageError("The GIF image is damaged.");
                }
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) {
            continue;
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            return imageError("The GIF image is damaged.");
        }
        const GifImageDesc& frame = gif->Image;
        // Some writers leave the screen size zero and mean the frame's.
        int width = gif->SWidth > 0 ? gif->SWidth : frame.Width;
        int height = gif->SHeight > 0 ? gif->SHeight : frame.Height;
        if (!imageSizeAllowed(static_cast<std::uint64_t>(std::max(width, 0)),
                              static_cast<std::uint64_t>(std::max(height, 0)), options.maxPixels) ||
            !imageSizeAllowed(static_cast<std::uint64_t>(std::max(frame.Width, 0)),
                              static_cast<std::uint64_t>(std::max(frame.Height, 0)),
                              options.maxPixels)) {
            return tooLargeError(static_cast<std::uint64_t>(std::max(width, frame.Width)),
                                 static_cast<std::uint64_t>(std::max(height, frame.Height)));
        }
        const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
        if (colours == nullptr) {
            return imageError("The GIF image has no colours.");
        }
        Image image = Image::blank(width, height);
        std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
        // Interlaced frames arrive in four passes of every 8th, 8th, 4th and 2nd row.
        constexpr int kPassStart[] = {0, 4, 2, 1};
        constexpr int kPassStep[] = {8, 8, 4, 2};
        const int passes = frame.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = frame.Interlace ? kPassStart[pass] : 0;
            const int step = frame.Interlace ? kPassStep[pass] : 1;
            for (int row = start; row < frame.Height; row += step) {
                if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
                    return imageError("The GIF image is damaged.");
                }
                const int y = frame.Top + row;
                if (y < 0 || y >= height) {
                    continue;
                }
                for (int column = 0; column < frame.Width; ++column) {
                    const int x = frame.Left + column;
                    const int index = line[static_cast<std::size_t>(column)];
                    if (x < 0 || x >= width || index == transparent ||
                        index >= colours->ColorCount) {
                        continue;
                    }
                    const GifColorType& colour = colours->Colors[index];
                    std::uint8_t* out = image.pixel(x, y);
                    out[0] = colour.Red;
                    out[1] = colour.Green;
                    out[2] = colour.Blue;
                    out[3] = 255;
                }
            }
        }
        return image;
    }
}

}  // namespace

Result<Image> decodeGif(std::string_view bytes, const DecodeOptions& options) {
    GifSource source{reinterpret_cast<const GifByteType*>(bytes.data()), bytes.size(), 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, readData, &error));
    if (!gif) {
        return imageError("The GIF image is damaged.");
    }
    return readFirstFrame(gif.get(), options);
}

}  // namespace miravel::image_detail
