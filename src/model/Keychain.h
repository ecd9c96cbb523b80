#pragma once

#include "lib/Error.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace miravel {

// Error domain of keychain back ends that are not plain files (the Secret Service).
inline constexpr const char* kKeychainErrorDomain = "miravel.keychain";

// One stored password, identified by the service it belongs to and the account on it.
// The password is only readable through password() and its bytes are overwritten when the item
// goes away, so a finished lookup does not leave the secret lying in freed heap memory.
class KeychainItem {
public:
    KeychainItem(std::string service, std::string username, std::string password);
    KeychainItem(const KeychainItem&) = default;
    KeychainItem(KeychainItem&&) noexcept = default;
    KeychainItem& operator=(const KeychainItem&);
    KeychainItem& operator=(KeychainItem&&) noexcept;
    ~KeychainItem();

    std::string service;
    std::string username;

    const std::string& password() const { return m_password; }

    bool operator==(const KeychainItem&) const = default;

private:
    std::string m_password;
};

// Generic passwords by service and account. Strings are byte strings: a back end either keeps
// every byte or refuses the value with an error, it never alters it silently.
//
// Lookups report failure separately from absence: "the keychain could not be read" must not be
// mistaken for "no password saved", or callers would ask for the password again and overwrite
// an entry they merely failed to see.
class Keychain {
public:
    virtual ~Keychain() = default;

    // The item saved for this service and account; an empty optional when there is none.
    [[nodiscard]] Result<std::optional<KeychainItem>> genericKeychainItemForService(
        const std::string& service, const std::string& username) const;

    // Saves the password; an existing item for the same service and account gets the new one.
    [[nodiscard]] Result<void> addGenericKeychainItemForService(const std::string& service,
                                                                const std::string& username,
                                                                const std::string& password);

    // Removing an item that is not there succeeds: the caller wanted it gone, and it is.
    [[nodiscard]] Result<void> removeFromKeychain(const KeychainItem& item);
    [[nodiscard]] Result<void> removeFromKeychain(const std::string& service,
                                                  const std::string& username);

    // Where the passwords live, for diagnostics ("Secret Service", "file <path>", "memory").
    virtual std::string_view backendName() const = 0;

    // The desktop's Secret Service when the session bus offers one that answers promptly,
    // otherwise a private file in configFolder. Never prompts and never starts a bus.
    static std::unique_ptr<Keychain> systemKeychain(const std::filesystem::path& configFolder);

private:
    [[nodiscard]] virtual Result<std::optional<KeychainItem>> findItem(
        const std::string& service, const std::string& username) const = 0;
    [[nodiscard]] virtual Result<void> storeItem(const std::string& service,
                                                 const std::string& username,
                                                 const std::string& password) = 0;
    [[nodiscard]] virtual Result<void> removeItem(const std::string& service,
                                                  const std::string& username) = 0;
};

}  // namespace miravel
