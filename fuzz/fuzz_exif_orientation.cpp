#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "lib/Image.h"
#include "lib/ImageOrientation.h"

using miravel::Image;
using miravel::ImageOrientation;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

}  // namespace

// The Exif reader walks segment lengths and IFD offsets taken from the file; the sanitizers
// catch any read past the bytes, and the result must always be one of the eight turns.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ImageOrientation orientation = miravel::jpegOrientation(bytes);
    const int value = static_cast<int>(orientation);
    if (value < 1 || value > 8) {
        fault("orientation outside 1 to 8");
    }
    // Turning keeps every pixel and swaps the sides for the quarter turns.
    Image image = Image::blank(3, 2);
    image.pixel(2, 1)[0] = 7;
    const Image turned = miravel::orientImage(image, orientation);
    const bool quarter = value >= 5;
    if (turned.width != (quarter ? 2 : 3) || turned.height != (quarter ? 3 : 2) ||
        turned.pixels.size() != image.pixels.size()) {
        fault("turned picture has the wrong size");
    }
    return 0;
}
