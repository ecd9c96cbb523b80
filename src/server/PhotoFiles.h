#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel::server {

// Recipe photos on disk, stored by content: <folder>/<account id>/<SHA-256 hex>. Names come
// from the hash the server computed and the account's number, never from request input.
class PhotoFiles {
public:
    explicit PhotoFiles(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return m_folder; }

    // Writes the bytes (atomically, synced) and gives their hash.
    [[nodiscard]] Result<std::string> store(std::int64_t account, std::string_view bytes);
    [[nodiscard]] Result<std::string> read(std::int64_t account, const std::string& photoHash);
    bool exists(std::int64_t account, const std::string& photoHash) const;
    void remove(std::int64_t account, const std::string& photoHash);

    // Tests make writes fail here, as a full disk would.
    void setWriteFault(std::function<std::optional<Error>()> fault) { m_fault = std::move(fault); }

private:
    std::filesystem::path pathOf(std::int64_t account, const std::string& photoHash) const;

    std::filesystem::path m_folder;
    std::function<std::optional<Error>()> m_fault;
};

}  // namespace miravel::server
