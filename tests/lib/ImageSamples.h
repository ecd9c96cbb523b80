#pragma once

// Sample pictures for the image tests, written at run time by the codecs themselves.

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lib/Image.h"

namespace miravel::testing {

using PixelFunction = std::function<std::array<std::uint8_t, 4>(int x, int y)>;

inline Image makeImage(int width, int height, const PixelFunction& colour) {
    Image image = Image::blank(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto rgba = colour(x, y);
            std::memcpy(image.pixel(x, y), rgba.data(), 4);
        }
    }
    return image;
}

// Eight pure colours in a checker of 4-pixel cells: exact in every lossless format
// (including GIF's palette) and still recognisable after JPEG.
inline std::array<std::uint8_t, 4> patternColour(int x, int y) {
    const int index = (x / 4 + y / 4 * 3) % 8;
    return {static_cast<std::uint8_t>(index & 1 ? 255 : 0),
            static_cast<std::uint8_t>(index & 2 ? 255 : 0),
            static_cast<std::uint8_t>(index & 4 ? 255 : 0), 255};
}

inline std::string encodePng(const Image& image) {
    png_image description{};
    description.version = PNG_IMAGE_VERSION;
    description.width = static_cast<png_uint_32>(image.width);
    description.height = static_cast<png_uint_32>(image.height);
    description.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&description, nullptr, &size, 0, image.pixels.data(), 0, nullptr);
    std::string bytes(size, '\0');
    png_image_write_to_memory(&description, bytes.data(), &size, 0, image.pixels.data(), 0,
                              nullptr);
    bytes.resize(size);
    return bytes;
}

// The eight colours of patternColour as the palette; other colours map to black.
inline std::string encodeGif(const Image& image) {
    std::string bytes;
    auto write = [](GifFileType* gif, const GifByteType* data, int length) {
        static_cast<std::string*>(gif->UserData)
            ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
        return length;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, write, &error);
    GifColorType colours[8];
    for (int i = 0; i < 8; ++i) {
        colours[i] = {static_cast<GifByteType>(i & 1 ? 255 : 0),
                      static_cast<GifByteType>(i & 2 ? 255 : 0),
                      static_cast<GifByteType>(i & 4 ? 255 : 0)};
    }
    ColorMapObject* map = GifMakeMapObject(8, colours);
    EGifPutScreenDesc(gif, image.width, image.height, 3, 0, map);
    EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.width));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            line[x] =
                static_cast<GifPixelType>((p[0] > 127) | (p[1] > 127) << 1 | (p[2] > 127) << 2);
        }
        EGifPutLine(gif, line.data(), image.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

struct MemoryFile {
    std::string bytes;
    std::size_t offset = 0;
};

inline std::string encodeTiff(const Image& image) {
    MemoryFile file;
    auto read = [](thandle_t, void*, tmsize_t) -> tmsize_t { return 0; };
    auto write = [](thandle_t handle, void* data, tmsize_t length) -> tmsize_t {
        auto* f = static_cast<MemoryFile*>(handle);
        if (f->bytes.size() < f->offset + length) {
            f->bytes.resize(f->offset + length);
        }
        std::memcpy(f->bytes.data() + f->offset, data, static_cast<std::size_t>(length));
        f->offset += static_cast<std::size_t>(length);
        return length;
    };
    auto seek = [](thandle_t handle, toff_t offset, int whence) -> toff_t {
        auto* f = static_cast<MemoryFile*>(handle);
        f->offset = whence == SEEK_SET   ? offset
                    : whence == SEEK_CUR ? f->offset + offset
                                         : f->bytes.size() + offset;
        return f->offset;
    };
    auto close = [](thandle_t) { return 0; };
    auto size = [](thandle_t handle) -> toff_t {
        return static_cast<MemoryFile*>(handle)->bytes.size();
    };
    TIFF* tiff =
        TIFFClientOpen("sample", "w", &file, read, write, seek, close, size, nullptr, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
    for (int y = 0; y < image.height; ++y) {
        TIFFWriteScanline(tiff, const_cast<std::uint8_t*>(image.pixel(0, y)),
                          static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(tiff);
    return file.bytes;
}

inline void putLittleEndian(std::string& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i) & 0xff));
    }
}

// A bottom-up BMP with the Windows info header; 8 bits use the eight-colour palette.
inline std::string encodeBmp(const Image& image, int bitsPerPixel, int claimedWidth = 0,
                             int claimedHeight = 0) {
    const int paletteSize = bitsPerPixel == 8 ? 8 : 0;
    const int stride = (image.width * bitsPerPixel + 31) / 32 * 4;
    const std::uint32_t offset = 14 + 40 + paletteSize * 4;
    std::string bytes = "BM";
    putLittleEndian(bytes, offset + stride * image.height, 4);
    putLittleEndian(bytes, 0, 4);
    putLittleEndian(bytes, offset, 4);
    putLittleEndian(bytes, 40, 4);
    putLittleEndian(bytes, claimedWidth ? claimedWidth : image.width, 4);
    putLittleEndian(bytes, claimedHeight ? claimedHeight : image.height, 4);
    putLittleEndian(bytes, 1, 2);
    putLittleEndian(bytes, bitsPerPixel, 2);
    putLittleEndian(bytes, 0, 4);
    putLittleEndian(bytes, stride * image.height, 4);
    putLittleEndian(bytes, 2835, 4);
    putLittleEndian(bytes, 2835, 4);
    putLittleEndian(bytes, paletteSize, 4);
    putLittleEndian(bytes, 0, 4);
    for (int i = 0; i < paletteSize; ++i) {
        putLittleEndian(bytes, (i & 4 ? 0xff : 0) | (i & 2 ? 0xff00 : 0) | (i & 1 ? 0xff0000 : 0),
                        4);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t rowStart = bytes.size();
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            if (bitsPerPixel == 8) {
                bytes.push_back(
                    static_cast<char>((p[0] > 127) | (p[1] > 127) << 1 | (p[2] > 127) << 2));
            } else {
                bytes +=
                    {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
                if (bitsPerPixel == 32) {
                    bytes.push_back('\0');
                }
            }
        }
        bytes.resize(rowStart + stride, '\0');
    }
    return bytes;
}

}  // namespace miravel::testing
