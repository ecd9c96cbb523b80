#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "lib/AtomicFile.h"
#include "lib/Error.h"
#include "lib/Image.h"

namespace miravel {

// Recipe photos are JPEG files in the library folder (beside the store file, see
// Recipe::libraryFolder), each under a name of its own that a recipe stores as `photo`.

// Decodes the picture, reduces it to the photo thumbnail, encodes it as JPEG and writes it
// under a new unique name. Returns that file name (not the path); bytes that are no
// picture write nothing and give an error. With Flush::Later the caller flushes the folder's
// file system (flushFileSystemOf) before it saves a recipe that names the photo.
[[nodiscard]] Result<std::string> savePhoto(const std::filesystem::path& folder,
                                            std::string_view imageBytes, Flush flush = Flush::Now);

// Writes an image the caller has already sized (the editor's thumbnail) as a photo file.
[[nodiscard]] Result<std::string> savePhoto(const std::filesystem::path& folder,
                                            const Image& image);

}  // namespace miravel
