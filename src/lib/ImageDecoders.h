#pragma once

// The per-format readers behind decodeImage; each checks the pixel budget against its header.

#include <string_view>

#include "lib/Image.h"

namespace miravel::image_detail {

Result<Image> decodePng(std::string_view bytes, const DecodeOptions& options);
Result<Image> decodeJpeg(std::string_view bytes, const DecodeOptions& options);
Result<Image> decodeGif(std::string_view bytes, const DecodeOptions& options);
Result<Image> decodeTiff(std::string_view bytes, const DecodeOptions& options);
Result<Image> decodeBmp(std::string_view bytes, const DecodeOptions& options);

std::unexpected<Error> imageError(std::string description);
std::unexpected<Error> tooLargeError(std::uint64_t width, std::uint64_t height);

}  // namespace miravel::image_detail
