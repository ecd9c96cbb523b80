#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel {

inline constexpr const char* kGzipErrorDomain = "miravel.gzip";
enum class GzipErrorCode { NotCompressed = 1, TooLarge = 2 };

// Files and service parts never inflate beyond this: a few kilobytes of hostile input can
// otherwise claim gigabytes.
inline constexpr std::size_t kMaxInflatedSize = 64 * 1024 * 1024;

// One gzip stream as zlib writes it with a gzip wrapper: 15-bit window, memory level 8,
// default strategy and level, one pass with a final flush. Other installations read these
// bytes, so the parameters stay as they are. `level` (zlib's 1 to 9) only trades size for
// speed, for bytes no hash depends on (a server's answers).
std::string gzipCompress(std::string_view bytes, int level = -1);

// Deflate data without a wrapper, made the same way (level 0 to 9), as a zip entry holds it.
std::string rawDeflate(std::string_view bytes, int level);

// Inflates a gzip or zlib stream, telling the two apart by their headers. Empty input gives
// empty output; input that does not inflate completely to the end of its stream, or that
// inflates beyond `maxSize`, gives an error.
[[nodiscard]] Result<std::string> inflateGzipOrZlib(std::string_view bytes,
                                                    std::size_t maxSize = kMaxInflatedSize);

}  // namespace miravel
