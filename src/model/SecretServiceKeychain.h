#pragma once

#include "model/Keychain.h"

#include <chrono>

namespace miravel {

// Passwords in the desktop's Secret Service (GNOME Keyring, KWallet and the like), stored under
// a schema named after the application with the attributes "service" and "account", so other
// tools show them as this application's and lookups never match another program's items.
//
// The service stores secrets and attribute values as text, so a service or account name that is
// not valid UTF-8 (or holds a NUL byte) is refused with an error rather than mangled. Passwords
// travel as binary values and keep every byte.
class SecretServiceKeychain final : public Keychain {
public:
    // Whether a session bus is configured and the Secret Service on it answers within timeout.
    // Never autolaunches a bus: without DBUS_SESSION_BUS_ADDRESS the answer is no.
    static bool isAvailable(std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));

    std::string_view backendName() const override { return "Secret Service"; }

private:
    Result<std::optional<KeychainItem>> findItem(const std::string& service,
                                                 const std::string& username) const override;
    Result<void> storeItem(const std::string& service, const std::string& username,
                           const std::string& password) override;
    Result<void> removeItem(const std::string& service, const std::string& username) override;
};

}  // namespace miravel
