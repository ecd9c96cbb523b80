#include "server/Accounts.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "lib/Log.h"
#include "lib/Utf8.h"
#include "server/StorageSupport.h"

namespace miravel::server {

std::optional<std::string> normalizedEmail(std::string_view email) {
    const auto first = email.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    email = email.substr(first, email.find_last_not_of(" \t\r\n") - first + 1);
    const auto at = email.find('@');
    if (email.size() > 254 || at == std::string_view::npos || at == 0 || at + 1 == email.size() ||
        email.find('@', at + 1) != std::string_view::npos || !isValidUtf8(email)) {
        return std::nullopt;
    }
    std::string normalized;
    for (char c : email) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return std::nullopt;
        }
        normalized += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return normalized;
}

namespace {

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

PasswordHasher::PasswordHasher(Cost cost) : m_cost(cost) {
    if (sodium_init() < 0) {
        return;
    }
    m_decoyHash = hash("decoy password of no account").value_or(std::string());
}

std::optional<std::string> PasswordHasher::hash(std::string_view password) {
    char out[crypto_pwhash_STRBYTES];
    m_slots.acquire();
    const int status = crypto_pwhash_str_alg(out, password.data(), password.size(), m_cost.passes,
                                             m_cost.memoryBytes, crypto_pwhash_ALG_ARGON2ID13);
    m_slots.release();
    if (status != 0) {
        return std::nullopt;
    }
    return std::string(out);
}

bool PasswordHasher::verify(const std::string& storedHash, std::string_view password) {
    m_slots.acquire();
    const bool ok =
        crypto_pwhash_str_verify(storedHash.c_str(), password.data(), password.size()) == 0;
    m_slots.release();
    return ok;
}

void PasswordHasher::verifyNothing(std::string_view password) {
    (void)verify(m_decoyHash, password);
}

CredentialCache::CredentialCache(std::chrono::seconds lifetime, std::size_t capacity)
    : m_lifetime(lifetime), m_capacity(capacity) {
    // Safe to call again; without it randombytes_buf may not be ready.
    if (sodium_init() < 0) {
        logLine("libsodium could not be initialised");
    }
    randombytes_buf(m_secret.data(), m_secret.size());
}

CredentialCache::Key CredentialCache::keyOf(std::string_view email, std::string_view storedHash,
                                            std::string_view password) const {
    crypto_generichash_state state;
    crypto_generichash_init(&state, m_secret.data(), m_secret.size(), 32);
    for (std::string_view field : {email, storedHash, password}) {
        unsigned char length[8];
        const std::uint64_t size = field.size();
        for (int i = 0; i < 8; ++i) {
            length[i] = static_cast<unsigned char>(size >> (8 * i));
        }
        crypto_generichash_update(&state, length, sizeof length);
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(field.data()),
                                  field.size());
    }
    Key key;
    crypto_generichash_final(&state, key.data(), key.size());
    return key;
}

bool CredentialCache::contains(const Key& key, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(key);
    if (found == m_entries.end()) {
        return false;
    }
    if (found->second <= now) {
        m_entries.erase(found);
        return false;
    }
    return true;
}

void CredentialCache::insert(const Key& key, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= m_capacity) {
        std::erase_if(m_entries, [&](const auto& entry) { return entry.second <= now; });
        if (m_entries.size() >= m_capacity) {
            m_entries.clear();
        }
    }
    m_entries[key] = now + m_lifetime;
}

std::size_t CredentialCache::size() {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

std::chrono::seconds LoginThrottle::waitFor(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(address);
    if (found == m_entries.end() || found->second.blockedUntil <= now) {
        return std::chrono::seconds(0);
    }
    return std::chrono::ceil<std::chrono::seconds>(found->second.blockedUntil - now);
}

void LoginThrottle::recordFailure(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (m_entries.size() > 100000) {
        std::erase_if(m_entries, [&](const auto& entry) {
            return now - entry.second.lastFailure > std::chrono::hours(1);
        });
    }
    Entry& entry = m_entries[address];
    if (now - entry.lastFailure > std::chrono::hours(1)) {
        entry.failures = 0;
    }
    entry.lastFailure = now;
    ++entry.failures;
    if (entry.failures > kFreeFailures) {
        const int doublings = std::min(entry.failures - kFreeFailures - 1, 10);
        const auto wait = std::min(std::chrono::seconds(1LL << doublings),
                                   std::chrono::seconds(std::chrono::minutes(15)));
        entry.blockedUntil = now + wait;
    }
}

void LoginThrottle::recordSuccess(const std::string& address) {
    std::lock_guard lock(m_mutex);
    m_entries.erase(address);
}

AccountService::AccountService(Storage& storage, PasswordHasher& hasher, RegistrationPolicy policy)
    : m_storage(storage), m_hasher(hasher), m_policy(policy) {}

ApiResult<std::string> AccountService::checkedPassword(std::string_view password) {
    if (!isValidUtf8(password)) {
        return apiError(ApiErrorKind::BadRequest, "The password is not valid UTF-8 text.");
    }
    if (characterCount(password) < kMinPasswordCharacters) {
        return apiError(ApiErrorKind::BadRequest, "Passwords must be at least six characters.");
    }
    if (password.size() > kMaxPasswordBytes) {
        return apiError(ApiErrorKind::BadRequest, "The password is too long.");
    }
    auto hashed = m_hasher.hash(password);
    if (!hashed) {
        return internalError(storageError("password hashing failed").error());
    }
    return std::move(*hashed);
}

ApiResult<Account> AccountService::createAccount(std::string_view email,
                                                 std::string_view password) {
    auto normalized = normalizedEmail(email);
    if (!normalized) {
        return apiError(ApiErrorKind::BadRequest, "Please enter a valid email address.");
    }
    auto hashed = checkedPassword(password);
    if (!hashed) {
        return std::unexpected(hashed.error());
    }
    auto created = m_storage.createAccount(*normalized, *hashed, false);
    if (!created) {
        return internalError(created.error());
    }
    if (!*created) {
        return apiError(ApiErrorKind::AccountExists,
                        "An account with this email address already exists.");
    }
    return std::move(**created);
}

ApiResult<Account> AccountService::registerAccount(std::string_view email,
                                                   std::string_view password,
                                                   const std::string& address) {
    (void)address;
    if (m_policy == RegistrationPolicy::Closed) {
        return apiError(ApiErrorKind::RegistrationClosed,
                        "This server does not accept new accounts.");
    }
    auto normalized = normalizedEmail(email);
    if (!normalized) {
        return apiError(ApiErrorKind::BadRequest, "Please enter a valid email address.");
    }
    auto hashed = checkedPassword(password);
    if (!hashed) {
        return std::unexpected(hashed.error());
    }
    const bool onlyIfFirst = m_policy == RegistrationPolicy::First;
    auto created = m_storage.createAccount(*normalized, *hashed, onlyIfFirst);
    if (!created) {
        return internalError(created.error());
    }
    if (!*created) {
        if (onlyIfFirst) {
            return apiError(ApiErrorKind::RegistrationClosed,
                            "This server does not accept new accounts.");
        }
        return apiError(ApiErrorKind::AccountExists,
                        "An account with this email address already exists.");
    }
    return std::move(**created);
}

ApiResult<Account> AccountService::login(std::string_view email, std::string_view password,
                                         const std::string& address) {
    if (const auto wait = m_throttle.waitFor(address); wait.count() > 0) {
        return apiError(
            ApiErrorKind::TooManyAttempts,
            fmt::format("Too many failed logins. Try again in {} seconds.", wait.count()));
    }
    const auto normalized = normalizedEmail(email);
    std::optional<Account> account;
    if (normalized && password.size() <= kMaxPasswordBytes) {
        auto found = m_storage.findAccount(*normalized);
        if (!found) {
            return internalError(found.error());
        }
        account = std::move(*found);
    }
    if (account) {
        const auto key = m_cache.keyOf(account->email, account->passwordHash, password);
        if (m_cache.contains(key)) {
            return std::move(*account);
        }
        if (m_hasher.verify(account->passwordHash, password)) {
            m_cache.insert(key);
            m_throttle.recordSuccess(address);
            return std::move(*account);
        }
    } else {
        m_hasher.verifyNothing(password.substr(0, kMaxPasswordBytes));
    }
    m_throttle.recordFailure(address);
    return apiError(ApiErrorKind::LoginFailed, "The email address or password is incorrect.");
}

ApiResult<void> AccountService::resetPassword(std::string_view email, std::string_view password) {
    auto normalized = normalizedEmail(email);
    if (!normalized) {
        return apiError(ApiErrorKind::BadRequest, "Please enter a valid email address.");
    }
    auto hashed = checkedPassword(password);
    if (!hashed) {
        return std::unexpected(hashed.error());
    }
    auto set = m_storage.setPasswordHash(*normalized, *hashed);
    if (!set) {
        return internalError(set.error());
    }
    if (!*set) {
        return apiError(ApiErrorKind::NotFound, "There is no account with this email address.");
    }
    return {};
}

}  // namespace miravel::server
