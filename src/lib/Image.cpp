#include "lib/Image.h"

#include <fmt/format.h>

#include "lib/ImageDecoders.h"

namespace miravel {

bool imageSizeAllowed(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= maxPixels;
}

Image Image::blank(int width, int height) {
    Image image;
    image.width = image.sourceWidth = width;
    image.height = image.sourceHeight = height;
    image.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    return image;
}

ImageFormat detectImageFormat(std::string_view bytes) {
    if (bytes.starts_with("\x89PNG\r\n\x1a\n")) {
        return ImageFormat::Png;
    }
    if (bytes.starts_with("\xff\xd8\xff")) {
        return ImageFormat::Jpeg;
    }
    if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) {
        return ImageFormat::Gif;
    }
    if (bytes.starts_with(std::string_view("II*\0", 4)) ||
        bytes.starts_with(std::string_view("MM\0*", 4))) {
        return ImageFormat::Tiff;
    }
    if (bytes.starts_with("BM")) {
        return ImageFormat::Bmp;
    }
    return ImageFormat::Unknown;
}

std::string_view imageMediaType(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return "image/png";
        case ImageFormat::Jpeg:
            return "image/jpeg";
        case ImageFormat::Gif:
            return "image/gif";
        case ImageFormat::Tiff:
            return "image/tiff";
        case ImageFormat::Bmp:
            return "image/bmp";
        case ImageFormat::Unknown:
            break;
    }
    return {};
}

Result<Image> decodeImage(std::string_view bytes, const DecodeOptions& options) {
    using namespace image_detail;
    switch (detectImageFormat(bytes)) {
        case ImageFormat::Png:
            return decodePng(bytes, options);
        case ImageFormat::Jpeg:
            return decodeJpeg(bytes, options);
        case ImageFormat::Gif:
            return decodeGif(bytes, options);
        case ImageFormat::Tiff:
            return decodeTiff(bytes, options);
        case ImageFormat::Bmp:
            return decodeBmp(bytes, options);
        case ImageFormat::Unknown:
            break;
    }
    return imageError("The data is not an image in a known format.");
}

namespace image_detail {

std::unexpected<Error> imageError(std::string description) {
    return makeError(kImageErrorDomain, ImageErrorCode::Unreadable, std::move(description));
}

std::unexpected<Error> tooLargeError(std::uint64_t width, std::uint64_t height) {
    return makeError(kImageErrorDomain, ImageErrorCode::TooLarge,
                     fmt::format("The image is too large ({} x {} pixels).", width, height));
}

}  // namespace image_detail

}  // namespace miravel
