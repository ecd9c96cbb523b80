#include "model/Keychain.h"

#include "model/FileKeychain.h"
#include "model/SecretServiceKeychain.h"

#include <cstring>

#include <utility>

namespace miravel {

namespace {
void wipe(std::string& text) {
    // explicit_bzero, unlike memset, is not removed as a dead store before the buffer is freed.
    explicit_bzero(text.data(), text.size());
    text.clear();
}
}  // namespace

KeychainItem::KeychainItem(std::string service, std::string username, std::string password)
    : service(std::move(service)), username(std::move(username)), m_password(std::move(password)) {}

KeychainItem& KeychainItem::operator=(const KeychainItem& other) {
    if (this != &other) {
        service = other.service;
        username = other.username;
        // Assigning a longer password reallocates; the old buffer would be freed unwiped.
        wipe(m_password);
        m_password = other.m_password;
    }
    return *this;
}

KeychainItem& KeychainItem::operator=(KeychainItem&& other) noexcept {
    if (this != &other) {
        service = std::move(other.service);
        username = std::move(other.username);
        wipe(m_password);
        m_password = std::move(other.m_password);
    }
    return *this;
}

KeychainItem::~KeychainItem() {
    wipe(m_password);
}

Result<std::optional<KeychainItem>> Keychain::genericKeychainItemForService(
    const std::string& service, const std::string& username) const {
    return findItem(service, username);
}

Result<void> Keychain::addGenericKeychainItemForService(const std::string& service,
                                                        const std::string& username,
                                                        const std::string& password) {
    return storeItem(service, username, password);
}

Result<void> Keychain::removeFromKeychain(const KeychainItem& item) {
    return removeItem(item.service, item.username);
}

Result<void> Keychain::removeFromKeychain(const std::string& service, const std::string& username) {
    return removeItem(service, username);
}

std::unique_ptr<Keychain> Keychain::systemKeychain(const std::filesystem::path& configFolder) {
    if (SecretServiceKeychain::isAvailable()) {
        return std::make_unique<SecretServiceKeychain>();
    }
    return std::make_unique<FileKeychain>(configFolder);
}

}  // namespace miravel
