#include "server/PhotoFiles.h"

#include <system_error>

#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Log.h"

namespace miravel::server {

namespace {

constexpr std::size_t kMaxStoredPhotoBytes = 64 * 1024 * 1024;

}  // namespace

PhotoFiles::PhotoFiles(std::filesystem::path folder) : m_folder(std::move(folder)) {}

std::filesystem::path PhotoFiles::pathOf(std::int64_t account, const std::string& photoHash) const {
    return m_folder / std::to_string(account) / photoHash;
}

Result<std::string> PhotoFiles::store(std::int64_t account, std::string_view bytes) {
    if (m_fault) {
        if (auto failure = m_fault()) {
            return std::unexpected(*failure);
        }
    }
    std::string photoHash = sha256Hex(bytes);
    const auto folder = m_folder / std::to_string(account);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return makeError(kFileErrorDomain, error.value(), error.message());
    }
    if (auto written = writeFileAtomically(folder / photoHash, bytes, 0600); !written) {
        return std::unexpected(written.error());
    }
    return photoHash;
}

Result<std::string> PhotoFiles::read(std::int64_t account, const std::string& photoHash) {
    ReadOptions options;
    options.maxBytes = kMaxStoredPhotoBytes;
    options.regularFileOnly = true;
    return readFile(pathOf(account, photoHash), options);
}

bool PhotoFiles::exists(std::int64_t account, const std::string& photoHash) const {
    std::error_code error;
    return std::filesystem::is_regular_file(pathOf(account, photoHash), error);
}

void PhotoFiles::remove(std::int64_t account, const std::string& photoHash) {
    std::error_code error;
    std::filesystem::remove(pathOf(account, photoHash), error);
    if (error) {
        logLine("Error deleting photo: {}", error.message());
    }
}

}  // namespace miravel::server
