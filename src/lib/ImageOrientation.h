#pragma once

#include <string_view>

#include "lib/Image.h"

namespace miravel {

// How a camera says its picture is to be turned for viewing: the Exif orientation, 1 (as
// stored) to 8. Phones store the sensor's rows and leave the turn to this tag.
enum class ImageOrientation {
    Normal = 1,
    MirrorHorizontal = 2,
    Rotate180 = 3,
    MirrorVertical = 4,
    Transpose = 5,  // mirrored along the top-left to bottom-right diagonal
    Rotate90Clockwise = 6,
    Transverse = 7,  // mirrored along the other diagonal
    Rotate90CounterClockwise = 8,
};

// The orientation in a JPEG's Exif (APP1) segment; Normal when the bytes are no JPEG, carry
// no such tag, or are damaged. The bytes are untrusted: every offset is checked against the
// segment, and the walk over segments and tags is bounded.
ImageOrientation jpegOrientation(std::string_view bytes);

// The picture turned as `orientation` says, so that it shows upright; its source size is
// turned with it.
Image orientImage(Image image, ImageOrientation orientation);

}  // namespace miravel
