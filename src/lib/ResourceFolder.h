#pragma once

#include <filesystem>

#include "lib/Error.h"

namespace miravel {

// The folder of the read-only data that ships with the program ("share/miravel" beside the
// "bin" folder of the running executable, in the build tree as once installed). Found from
// the executable's own location, so a moved installation keeps working.
[[nodiscard]] Result<std::filesystem::path> resourceFolder();

// A resource by its file name, e.g. resourcePath("parser.yml").
[[nodiscard]] Result<std::filesystem::path> resourcePath(const std::filesystem::path& name);

}  // namespace miravel
