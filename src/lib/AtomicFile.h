#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "lib/DateText.h"
#include "lib/Error.h"

namespace miravel {

// When a written file reaches the disk: before the call returns, or at the caller's next
// flushFileSystemOf (a job that writes many files, and records them in a store only after
// that flush).
enum class Flush { Now, Later };

// Replaces the file at `path` with `bytes` so that a reader (or a crash) sees either the old
// file or the whole new one, never a part: a temporary file in the same folder is written
// with `mode` from its creation, flushed to disk, renamed over the target, and the folder is
// flushed so the rename itself survives a power cut. With Flush::Later both flushes are left
// to the caller's flushFileSystemOf; readers still never see a part.
[[nodiscard]] Result<void> writeFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes, mode_t mode = 0644,
                                               Flush flush = Flush::Now);

// Flushes everything written to the file system that holds `path` (syncfs): one wait for a
// whole batch of files instead of one per file.
[[nodiscard]] Result<void> flushFileSystemOf(const std::filesystem::path& path);

// Far beyond any file the program reads whole; a device that never ends (/dev/zero) or a
// runaway file is refused instead of exhausting memory.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

struct ReadOptions {
    // A longer file is an error (EFBIG), unless `prefixOnly`.
    std::size_t maxBytes = kMaxFileBytes;
    // Hand back at most `maxBytes` from the start instead of failing on a longer file.
    bool prefixOnly = false;
    // Refuse anything but a plain file (a FIFO, a device) without waiting on it; for input
    // that has no business being a stream, such as a photo.
    bool regularFileOnly = false;
};

// The one way the program reads a file: the whole file as bytes, or an error that names the
// file and the reason ("Could not read \"x\": Is a directory"). Never throws, and never
// blocks on a FIFO when `regularFileOnly`.
[[nodiscard]] Result<std::string> readFile(const std::filesystem::path& path,
                                           const ReadOptions& options = {});

// The same for a descriptor already open (standard input), read to its end; `name` is what
// the messages call it. The descriptor stays open.
[[nodiscard]] Result<std::string> readFileDescriptor(int fd, const std::filesystem::path& name,
                                                     const ReadOptions& options = {});

// A new folder only this user may enter (0700, made by mkdtemp under $TMPDIR, else /tmp),
// "<prefix>-XXXXXX": what the program leaves for another program to pick up (an e-mail's
// attachments) goes there, where no other user can plant a file or a link beforehand.
[[nodiscard]] Result<std::filesystem::path> makePrivateTemporaryFolder(std::string_view prefix);

// Writes `bytes` as a new file readable by this user alone (0600). A file already of that
// name is replaced; a link of that name is removed, never followed, and the file is created
// exclusively, so the bytes cannot land anywhere but at `path`.
[[nodiscard]] Result<void> writePrivateFile(const std::filesystem::path& path,
                                            std::string_view bytes);

// When the file was last written; nothing when it cannot be asked (no such file).
std::optional<Timestamp> fileModificationTime(const std::filesystem::path& path);

// Creates a folder and its missing parents; newly made folders get `mode`.
[[nodiscard]] Result<void> createFolder(const std::filesystem::path& path, mode_t mode = 0755);

// Flushes a file already written (by another library) to disk.
[[nodiscard]] Result<void> flushFile(const std::filesystem::path& path);

// Flushes a folder's entries (a rename or a new name in it) to disk. Failures are ignored:
// the folder's files were flushed one by one, and a file system without the call has
// nothing to flush.
void flushFolder(const std::filesystem::path& folder);

// Moves a damaged file out of the way, keeping it for the user: "<name>.damaged-<time>".
// Returns the new path.
[[nodiscard]] Result<std::filesystem::path> keepDamagedFileAside(const std::filesystem::path& path);

}  // namespace miravel
