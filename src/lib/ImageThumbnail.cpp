#include "lib/ImageThumbnail.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "lib/ImageOrientation.h"

namespace miravel {
namespace {

double lanczos3(double x) {
    x = std::abs(x);
    if (x < 1e-9) {
        return 1.0;
    }
    if (x >= 3.0) {
        return 0.0;
    }
    const double pix = std::numbers::pi * x;
    return 3.0 * std::sin(pix) * std::sin(pix / 3.0) / (pix * pix);
}

// For each output position the source taps and their weights, normalised to sum 1. Taps
// beyond the edge are dropped (and the rest renormalised) rather than mirrored or clamped,
// so the border pixels are not over-weighted.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;  // `span` per output position
    int span = 0;
};

Taps computeTaps(int source, int target) {
    const double scale = static_cast<double>(target) / source;
    const double stretch = std::max(1.0, 1.0 / scale);
    const double support = 3.0 * stretch;
    Taps taps;
    taps.span = static_cast<int>(std::ceil(support)) * 2 + 2;
    taps.first.resize(static_cast<std::size_t>(target));
    taps.count.resize(static_cast<std::size_t>(target));
    taps.weights.assign(static_cast<std::size_t>(target) * taps.span, 0.0f);
    for (int i = 0; i < target; ++i) {
        const double centre = (i + 0.5) / scale;
        const int first = std::max(0, static_cast<int>(std::floor(centre - support)));
        const int last = std::min(source - 1, static_cast<int>(std::ceil(centre + support)));
        const int count = std::min(last - first + 1, taps.span);
        float* weights = &taps.weights[static_cast<std::size_t>(i) * taps.span];
        double sum = 0.0;
        for (int j = 0; j < count; ++j) {
            weights[j] = static_cast<float>(lanczos3((first + j + 0.5 - centre) / stretch));
            sum += weights[j];
        }
        for (int j = 0; j < count; ++j) {
            weights[j] = static_cast<float>(weights[j] / sum);
        }
        taps.first[static_cast<std::size_t>(i)] = first;
        taps.count[static_cast<std::size_t>(i)] = count;
    }
    return taps;
}

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 255.0f)));
}

}  // namespace

ThumbnailPlan planThumbnail(int width, int height, int edge) {
    if (width <= 0 || height <= 0) {
        return {edge, edge, 0, 0, edge, edge};
    }
    if (width < edge || height < edge) {
        if (width <= edge && height <= edge) {
            return {width, height, 0, 0, width, height};
        }
        const double aspect = static_cast<double>(width) / height;
        const int w =
            width > height ? edge : std::max(1, static_cast<int>(std::lround(aspect * edge)));
        const int h =
            width > height ? std::max(1, static_cast<int>(std::lround(edge / aspect))) : edge;
        return {w, h, 0, 0, w, h};
    }
    const double scale = static_cast<double>(edge) / std::min(width, height);
    const int w = std::max(edge, static_cast<int>(std::lround(width * scale)));
    const int h = std::max(edge, static_cast<int>(std::lround(height * scale)));
    return {w,
            h,
            static_cast<int>(std::lround((w - edge) / 2.0)),
            static_cast<int>(std::lround((h - edge) / 2.0)),
            edge,
            edge};
}

Image resizeImage(const Image& image, int width, int height) {
    if (image.width == width && image.height == height) {
        return image;
    }
    Image result = Image::blank(width, height);
    if (image.width <= 0 || image.height <= 0) {
        return result;
    }
    const Taps across = computeTaps(image.width, width);
    const Taps down = computeTaps(image.height, height);
    // Horizontal pass into alpha-premultiplied floats, so transparent pixels lend no colour.
    std::vector<float> middle(static_cast<std::size_t>(width) * image.height * 4);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.pixel(0, y);
        float* out = &middle[static_cast<std::size_t>(y) * width * 4];
        for (int x = 0; x < width; ++x, out += 4) {
            const float* weights = &across.weights[static_cast<std::size_t>(x) * across.span];
            const std::uint8_t* in = row + static_cast<std::size_t>(across.first[x]) * 4;
            float r = 0;
            float g = 0;
            float b = 0;
            float a = 0;
            // A byte is exact in a float, so these conversions lose nothing.
            for (int j = 0; j < across.count[x]; ++j, in += 4) {
                const float alpha = weights[j] * static_cast<float>(in[3]);
                r += alpha * static_cast<float>(in[0]);
                g += alpha * static_cast<float>(in[1]);
                b += alpha * static_cast<float>(in[2]);
                a += alpha;
            }
            out[0] = r;
            out[1] = g;
            out[2] = b;
            out[3] = a;
        }
    }
    std::vector<float> sums(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const float* weights = &down.weights[static_cast<std::size_t>(y) * down.span];
        for (int j = 0; j < down.count[y]; ++j) {
            const float* in = &middle[static_cast<std::size_t>(down.first[y] + j) * width * 4];
            for (std::size_t k = 0; k < sums.size(); ++k) {
                sums[k] += weights[j] * in[k];
            }
        }
        std::uint8_t* out = result.pixel(0, y);
        for (int x = 0; x < width; ++x, out += 4) {
            const float* sum = &sums[static_cast<std::size_t>(x) * 4];
            const float alpha = sum[3];
            const float unpremultiply = alpha > 0.001f ? 1.0f / alpha : 0.0f;
            out[0] = toByte(sum[0] * unpremultiply);
            out[1] = toByte(sum[1] * unpremultiply);
            out[2] = toByte(sum[2] * unpremultiply);
            out[3] = toByte(alpha);
        }
    }
    return result;
}

Image createThumbnail(const Image& image, int edge) {
    const int sourceWidth = image.sourceWidth > 0 ? image.sourceWidth : image.width;
    const int sourceHeight = image.sourceHeight > 0 ? image.sourceHeight : image.height;
    const ThumbnailPlan plan = planThumbnail(sourceWidth, sourceHeight, edge);
    Image scaled = resizeImage(image, plan.scaledWidth, plan.scaledHeight);
    if (plan.width == plan.scaledWidth && plan.height == plan.scaledHeight) {
        scaled.sourceWidth = scaled.width;
        scaled.sourceHeight = scaled.height;
        return scaled;
    }
    Image cropped = Image::blank(plan.width, plan.height);
    for (int y = 0; y < plan.height; ++y) {
        std::copy_n(scaled.pixel(plan.cropX, plan.cropY + y),
                    static_cast<std::size_t>(plan.width) * 4, cropped.pixel(0, y));
    }
    return cropped;
}

namespace {

Result<Image> decodeForPhoto(std::string_view imageBytes, int edge) {
    return decodeImage(imageBytes, DecodeOptions{.thumbnailEdge = edge});
}

// The thumbnail plan is the same for a picture and its turned self, so the reduced decode,
// planned before the turn, still holds enough pixels after it.
Image uprightThumbnail(Image decoded, std::string_view imageBytes, int edge) {
    return createThumbnail(orientImage(std::move(decoded), jpegOrientation(imageBytes)), edge);
}

// A JPEG of ours that already fits, upright and without camera data (which may say where it
// was taken), is kept byte for byte: encoding it again would lose a little quality every time
// a recipe travels between libraries, and cost time on every import.
bool hasCameraData(std::string_view imageBytes) {
    return imageBytes.find(std::string_view("Exif\0\0", 6)) != std::string_view::npos;
}

bool keptAsItIs(std::string_view imageBytes, const Image& decoded, int edge) {
    const int width = decoded.sourceWidth > 0 ? decoded.sourceWidth : decoded.width;
    const int height = decoded.sourceHeight > 0 ? decoded.sourceHeight : decoded.height;
    return detectImageFormat(imageBytes) == ImageFormat::Jpeg && width <= edge && height <= edge &&
           width > 0 && height > 0 && !hasCameraData(imageBytes);
}

}  // namespace

Result<Image> preparePhoto(std::string_view imageBytes, int edge) {
    auto image = decodeForPhoto(imageBytes, edge);
    if (!image) {
        return std::unexpected(image.error());
    }
    return uprightThumbnail(std::move(*image), imageBytes, edge);
}

Result<std::string> thumbnailJpeg(std::string_view imageBytes, int edge) {
    // A JPEG that may be kept as it is is only checked, not decoded in full: its pixels would
    // be thrown away.
    DecodeOptions options{.thumbnailEdge = edge};
    if (detectImageFormat(imageBytes) == ImageFormat::Jpeg && !hasCameraData(imageBytes)) {
        options.checkOnlyWithin = edge;
    }
    auto image = decodeImage(imageBytes, options);
    if (!image) {
        return std::unexpected(image.error());
    }
    if (keptAsItIs(imageBytes, *image, edge)) {
        return std::string(imageBytes);
    }
    return encodeJpeg(uprightThumbnail(std::move(*image), imageBytes, edge), kPhotoJpegQuality);
}

}  // namespace miravel
