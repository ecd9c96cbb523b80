#pragma once

#include <string>
#include <string_view>

#include "lib/Image.h"

namespace miravel {

// The edge of a recipe photo: photos are stored at most this many pixels wide and high.
inline constexpr int kThumbnailEdge = 280;
inline constexpr int kPhotoJpegQuality = 90;

// Where a picture of the given size ends up: scaled to scaledWidth x scaledHeight, then the
// width x height part at (cropX, cropY) kept.
struct ThumbnailPlan {
    int scaledWidth = 0;
    int scaledHeight = 0;
    int cropX = 0;
    int cropY = 0;
    int width = 0;
    int height = 0;
};

// A picture with a side below the edge is only ever shrunk to fit the square (and kept as it
// is when it already fits); a picture at least that large on both sides is scaled to cover
// the square and cut to it around the centre.
ThumbnailPlan planThumbnail(int sourceWidth, int sourceHeight, int edge = kThumbnailEdge);

// Separable Lanczos-3 resampling, widened by the reduction factor when shrinking so that
// every source pixel contributes (no aliasing), with alpha-weighted colours.
Image resizeImage(const Image& image, int width, int height);

// The plan is made from the picture's source size, so a reduced decode gives the same result.
Image createThumbnail(const Image& image, int edge = kThumbnailEdge);

// What every photo made here goes through (the editor, importers, the clipper): decoded (at a
// reduced size where that is enough), turned upright as the camera's Exif orientation says,
// and thumbnailed. Photos a sync downloads are kept as the server sent them and skip this.
[[nodiscard]] Result<Image> preparePhoto(std::string_view imageBytes, int edge = kThumbnailEdge);

// preparePhoto, encoded as JPEG. An upright JPEG that already fits and carries no camera data
// is returned as it is.
[[nodiscard]] Result<std::string> thumbnailJpeg(std::string_view imageBytes,
                                                int edge = kThumbnailEdge);

}  // namespace miravel
