#pragma once

#include "model/Keychain.h"

#include <filesystem>
#include <string>

namespace miravel {

// Passwords in a private file, for desktops without a Secret Service. The file is only ever
// readable by its owner (mode 0600, in a folder created 0700) and is replaced atomically, so a
// crash leaves either the old or the new contents. Every operation reads the file afresh, so
// processes sharing the folder see each other's changes; changes are serialised through a lock
// file beside it so that concurrent writers do not lose each other's items.
//
// A file that cannot be parsed is renamed aside (kept for the user, never deleted) and the
// keychain starts empty; a file readable by others is restricted to 0600. Both are logged.
//
// Format: the line "miravel-keychain 1", then one line per item, sorted, with service, account
// and password separated by tabs. Each field is percent-encoded: bytes from '!' to '~' other than
// '%' stand for themselves, every other byte is written %XX, so any byte string survives and a
// line never contains a raw tab, newline or space.
class FileKeychain final : public Keychain {
public:
    static constexpr const char* kFileName = "keychain.txt";

    explicit FileKeychain(std::filesystem::path configFolder);

    const std::filesystem::path& filePath() const { return m_filePath; }
    std::string_view backendName() const override { return m_backendName; }

private:
    Result<std::optional<KeychainItem>> findItem(const std::string& service,
                                                 const std::string& username) const override;
    Result<void> storeItem(const std::string& service, const std::string& username,
                           const std::string& password) override;
    Result<void> removeItem(const std::string& service, const std::string& username) override;

    std::filesystem::path m_folder;
    std::filesystem::path m_filePath;
    std::filesystem::path m_lockPath;
    std::string m_backendName;
};

}  // namespace miravel
