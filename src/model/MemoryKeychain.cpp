#include "model/MemoryKeychain.h"

namespace miravel {

Result<std::optional<KeychainItem>> MemoryKeychain::findItem(const std::string& service,
                                                             const std::string& username) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_passwords.find({service, username});
    if (found == m_passwords.end()) {
        return std::nullopt;
    }
    return KeychainItem(service, username, found->second);
}

Result<void> MemoryKeychain::storeItem(const std::string& service, const std::string& username,
                                       const std::string& password) {
    std::lock_guard lock(m_mutex);
    m_passwords.insert_or_assign({service, username}, password);
    return {};
}

Result<void> MemoryKeychain::removeItem(const std::string& service, const std::string& username) {
    std::lock_guard lock(m_mutex);
    m_passwords.erase({service, username});
    return {};
}

}  // namespace miravel
