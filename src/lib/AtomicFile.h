#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel {

// Replaces the file at `path` with `bytes` so that a reader (or a crash) sees either the old
// file or the whole new one, never a part: a temporary file in the same folder is written
// with `mode` from its creation, flushed to disk, renamed over the target, and the folder is
// flushed so the rename itself survives a power cut.
[[nodiscard]] Result<void> writeFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes, mode_t mode = 0644);

// The whole file as bytes.
[[nodiscard]] Result<std::string> readFile(const std::filesystem::path& path);

// Creates a folder and its missing parents; newly made folders get `mode`.
[[nodiscard]] Result<void> createFolder(const std::filesystem::path& path, mode_t mode = 0755);

// Moves a damaged file out of the way, keeping it for the user: "<name>.damaged-<time>".
// Returns the new path.
[[nodiscard]] Result<std::filesystem::path> keepDamagedFileAside(const std::filesystem::path& path);

}  // namespace miravel
