#pragma once

#include "model/Keychain.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace miravel {

// Passwords that live as long as the object: for tests and for runs that must not touch the
// user's real keychain.
class MemoryKeychain final : public Keychain {
public:
    std::string_view backendName() const override { return "memory"; }

private:
    Result<std::optional<KeychainItem>> findItem(const std::string& service,
                                                 const std::string& username) const override;
    Result<void> storeItem(const std::string& service, const std::string& username,
                           const std::string& password) override;
    Result<void> removeItem(const std::string& service, const std::string& username) override;

    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, std::string> m_passwords;
};

}  // namespace miravel
