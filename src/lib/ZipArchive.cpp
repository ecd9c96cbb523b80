#include "lib/ZipArchive.h"

#include <unzip.h>
#include <zip.h>

#include <algorithm>
#include <ctime>
#include <system_error>

#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Gzip.h"

namespace miravel {

namespace {

// Bit 11 of the general-purpose flags: the entry's name is UTF-8.
constexpr uLong kUtf8NameFlag = 1u << 11;

tm_zip zipTime(Timestamp moment) {
    const std::time_t seconds = timeTOf(moment);
    std::tm local{};
    localtime_r(&seconds, &local);
    tm_zip time{};
    time.tm_sec = static_cast<uInt>(local.tm_sec);
    time.tm_min = static_cast<uInt>(local.tm_min);
    time.tm_hour = static_cast<uInt>(local.tm_hour);
    time.tm_mday = static_cast<uInt>(local.tm_mday);
    time.tm_mon = static_cast<uInt>(local.tm_mon);
    time.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return time;
}

std::unexpected<Error> zipError(ZipErrorCode code, const std::string& what, int status = 0) {
    std::string reason = what;
    if (status != 0) {
        reason += " (zip error " + std::to_string(status) + ")";
    }
    return makeError(kZipErrorDomain, code, reason);
}

}  // namespace

struct ZipWriter::State {
    zipFile file = nullptr;
    std::filesystem::path destination;
    std::filesystem::path temporary;
    std::string comment;

    ~State() {
        if (file != nullptr) {
            zipClose(file, nullptr);
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
        }
    }
};

ZipWriter::ZipWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
ZipWriter::ZipWriter(ZipWriter&&) noexcept = default;
ZipWriter& ZipWriter::operator=(ZipWriter&&) noexcept = default;
ZipWriter::~ZipWriter() = default;

Result<ZipWriter> ZipWriter::create(const std::filesystem::path& destination) {
    auto state = std::make_unique<State>();
    state->destination = destination;
    state->temporary = destination;
    state->temporary += ".part-" + newUid();
    state->file = zipOpen64(state->temporary.c_str(), APPEND_STATUS_CREATE);
    if (state->file == nullptr) {
        return zipError(ZipErrorCode::CannotOpen, "cannot create " + state->temporary.string() +
                                                      ": " +
                                                      std::generic_category().message(errno));
    }
    return ZipWriter(std::move(state));
}

ZipWriter::DeflatedEntry ZipWriter::deflateEntry(std::string_view bytes, int level) {
    DeflatedEntry entry;
    entry.level = std::clamp(level, 0, 9);
    entry.data = rawDeflate(bytes, entry.level);
    entry.size = bytes.size();
    entry.crc = static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
    return entry;
}

Result<void> ZipWriter::add(std::string_view name, std::string_view bytes, Timestamp modified,
                            int level) {
    return addDeflated(name, deflateEntry(bytes, level), modified);
}

Result<void> ZipWriter::addDeflated(std::string_view name, const DeflatedEntry& entry,
                                    Timestamp modified) {
    zip_fileinfo info{};
    info.tmz_date = zipTime(modified);
    const std::string entryName(name);
    // Raw: the data is deflated already, the archive only records its length and checksum.
    int status = zipOpenNewFileInZip4_64(m_state->file, entryName.c_str(), &info, nullptr, 0,
                                         nullptr, 0, nullptr, Z_DEFLATED, entry.level, 1,
                                         -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         0, kUtf8NameFlag, entry.size >= 0xffffffffu ? 1 : 0);
    if (status != ZIP_OK) {
        return zipError(ZipErrorCode::CannotWrite, "cannot add " + entryName, status);
    }
    const std::string& bytes = entry.data;
    std::size_t offset = 0;
    while (status == ZIP_OK && offset < bytes.size()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - offset, 1u << 30);
        status =
            zipWriteInFileInZip(m_state->file, bytes.data() + offset, static_cast<unsigned>(chunk));
        offset += chunk;
    }
    const int closed = zipCloseFileInZipRaw64(m_state->file, entry.size, entry.crc);
    if (status != ZIP_OK || closed != ZIP_OK) {
        return zipError(ZipErrorCode::CannotWrite, "cannot write " + entryName,
                        status != ZIP_OK ? status : closed);
    }
    return {};
}

void ZipWriter::setComment(std::string comment) {
    // Readers look for the end record, 22 bytes and then the comment, in the archive's last
    // 64 KiB only.
    if (comment.size() > kMostZipCommentBytes) {
        comment.resize(kMostZipCommentBytes);
    }
    m_state->comment = std::move(comment);
}

Result<void> ZipWriter::commit() {
    const int status =
        zipClose(m_state->file, m_state->comment.empty() ? nullptr : m_state->comment.c_str());
    m_state->file = nullptr;
    std::error_code error;
    if (status != ZIP_OK) {
        std::filesystem::remove(m_state->temporary, error);
        return zipError(ZipErrorCode::CannotWrite, "cannot finish the archive", status);
    }
    // The whole archive reaches the disk before it takes the destination's name, so that a
    // power cut never leaves a short file there.
    if (auto flushed = flushFile(m_state->temporary); !flushed) {
        std::filesystem::remove(m_state->temporary, error);
        return zipError(ZipErrorCode::CannotWrite,
                        "cannot finish the archive: " + flushed.error().description);
    }
    std::filesystem::rename(m_state->temporary, m_state->destination, error);
    if (error) {
        std::filesystem::remove(m_state->temporary, error);
        return zipError(ZipErrorCode::CannotWrite,
                        "cannot replace " + m_state->destination.string() + ": " + error.message());
    }
    flushFolder(m_state->destination.has_parent_path() ? m_state->destination.parent_path()
                                                       : std::filesystem::path("."));
    return {};
}

struct ZipReader::State {
    unzFile file = nullptr;
    std::vector<Entry> entries;
    std::vector<unz64_file_pos> positions;
    std::string comment;
    ZipLimits limits;
    std::uint64_t fileSize = 0;

    ~State() {
        if (file != nullptr) {
            unzClose(file);
        }
    }
};

ZipReader::ZipReader(std::unique_ptr<State> state) : m_state(std::move(state)) {}
ZipReader::ZipReader(ZipReader&&) noexcept = default;
ZipReader& ZipReader::operator=(ZipReader&&) noexcept = default;
ZipReader::~ZipReader() = default;

Result<ZipReader> ZipReader::open(const std::filesystem::path& path, ZipLimits limits) {
    auto state = std::make_unique<State>();
    state->limits = limits;
    std::error_code error;
    state->fileSize = std::filesystem::file_size(path, error);
    if (error || !std::filesystem::is_regular_file(path, error)) {
        return zipError(ZipErrorCode::CannotOpen, "cannot read " + path.string());
    }
    state->file = unzOpen64(path.c_str());
    if (state->file == nullptr) {
        return zipError(ZipErrorCode::Damaged, path.filename().string() + " is not a zip archive");
    }
    std::uint64_t total = 0;
    for (int status = unzGoToFirstFile(state->file); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(state->file)) {
        if (status != UNZ_OK) {
            return zipError(ZipErrorCode::Damaged, "the archive's list of entries is damaged",
                            status);
        }
        unz_file_info64 info{};
        char name[1024];
        status =
            unzGetCurrentFileInfo64(state->file, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        unz64_file_pos position{};
        if (status != UNZ_OK || unzGetFilePos64(state->file, &position) != UNZ_OK) {
            return zipError(ZipErrorCode::Damaged, "the archive's list of entries is damaged",
                            status);
        }
        const std::size_t length = std::min<std::size_t>(info.size_filename, sizeof name - 1);
        total += info.uncompressed_size;
        if (state->entries.size() >= limits.maxEntries || total > limits.maxTotalSize) {
            return zipError(ZipErrorCode::TooLarge, "the archive is larger than can be read");
        }
        state->entries.push_back({std::string(name, length), info.uncompressed_size});
        state->positions.push_back(position);
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(state->file, &global) == UNZ_OK && global.size_comment > 0) {
        std::string comment(global.size_comment + 1, '\0');
        const int length =
            unzGetGlobalComment(state->file, comment.data(), static_cast<uLong>(comment.size()));
        if (length > 0) {
            comment.resize(std::min(static_cast<std::size_t>(length), global.size_comment));
            state->comment = std::move(comment);
        }
    }
    return ZipReader(std::move(state));
}

const std::vector<ZipReader::Entry>& ZipReader::entries() const {
    return m_state->entries;
}

const std::string& ZipReader::comment() const {
    return m_state->comment;
}

std::uint64_t ZipReader::fileSize() const {
    return m_state->fileSize;
}

Result<std::string> ZipReader::read(std::size_t index) {
    const Entry& entry = m_state->entries.at(index);
    if (entry.size > m_state->limits.maxEntrySize) {
        return zipError(ZipErrorCode::TooLarge, entry.name + " is larger than can be read");
    }
    unzFile file = m_state->file;
    if (unzGoToFilePos64(file, &m_state->positions[index]) != UNZ_OK ||
        unzOpenCurrentFile(file) != UNZ_OK) {
        return zipError(ZipErrorCode::Damaged, entry.name + " cannot be read");
    }
    // minizip stops at the declared length, so a stream that would inflate beyond it is cut
    // there and then fails the checksum below.
    std::string bytes(static_cast<std::size_t>(entry.size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const unsigned chunk =
            static_cast<unsigned>(std::min<std::size_t>(bytes.size() - filled, 1u << 30));
        const int got = unzReadCurrentFile(file, bytes.data() + filled, chunk);
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    char probe = 0;
    const bool more = filled == bytes.size() && unzReadCurrentFile(file, &probe, 1) > 0;
    const int closed = unzCloseCurrentFile(file);
    if (filled != bytes.size() || more || closed != UNZ_OK) {
        return zipError(ZipErrorCode::Damaged, entry.name + " is damaged");
    }
    return bytes;
}

}  // namespace miravel
