#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lib/DateText.h"
#include "lib/Error.h"

namespace miravel {

inline constexpr const char* kZipErrorDomain = "miravel.zip";
enum class ZipErrorCode { CannotOpen = 1, Damaged = 2, TooLarge = 3, CannotWrite = 4 };

inline constexpr std::size_t kMostZipCommentBytes = 0xffff - 22;

// A zip archive written entry by entry (deflate, UTF-8 names, no folders). The
// archive is written beside its destination and renamed over it only by commit(), so an
// existing file there survives a failed or abandoned export whole.
class ZipWriter {
public:
    [[nodiscard]] static Result<ZipWriter> create(const std::filesystem::path& destination);
    ZipWriter(ZipWriter&&) noexcept;
    ZipWriter& operator=(ZipWriter&&) noexcept;
    ~ZipWriter();  // abandons an archive not committed

    // An entry's data compressed ahead, on any thread, for addDeflated.
    struct DeflatedEntry {
        std::string data;  // raw deflate
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        int level = 9;
    };
    static DeflatedEntry deflateEntry(std::string_view bytes, int level = 9);

    // `modified` is stored at the zip format's two-second resolution, in local time.
    [[nodiscard]] Result<void> add(std::string_view name, std::string_view bytes,
                                   Timestamp modified, int level = 9);
    [[nodiscard]] Result<void> addDeflated(std::string_view name, const DeflatedEntry& entry,
                                           Timestamp modified);
    // The archive's comment, written by commit(): at most kMostZipCommentBytes (cut there);
    // none when empty. Zip tools show it; readers of the entries never see it.
    void setComment(std::string comment);
    [[nodiscard]] Result<void> commit();

private:
    struct State;
    explicit ZipWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

// Limits that keep a hostile archive from exhausting memory or disk: each entry is read only
// up to its declared length and at most `maxEntrySize`, and the declared lengths together
// may not pass `maxTotalSize`.
struct ZipLimits {
    std::uint64_t maxEntrySize = 64ull * 1024 * 1024;
    std::uint64_t maxTotalSize = 16ull * 1024 * 1024 * 1024;
    std::size_t maxEntries = 1'000'000;
};

class ZipReader {
public:
    struct Entry {
        std::string name;
        std::uint64_t size = 0;  // the uncompressed length the archive declares
    };

    [[nodiscard]] static Result<ZipReader> open(const std::filesystem::path& path,
                                                ZipLimits limits = {});
    ZipReader(ZipReader&&) noexcept;
    ZipReader& operator=(ZipReader&&) noexcept;
    ~ZipReader();

    const std::vector<Entry>& entries() const;
    // The archive's comment, "" when it has none; read with the list of entries.
    const std::string& comment() const;
    // The entry's bytes, checked against the archive's checksum. An entry whose data ends
    // before its declared length, or fails the checksum, is an error.
    [[nodiscard]] Result<std::string> read(std::size_t index);
    // The file size, for progress reporting.
    std::uint64_t fileSize() const;

private:
    struct State;
    explicit ZipReader(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace miravel
