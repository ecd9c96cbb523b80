#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/ApiError.h"
#include "server/Storage.h"

namespace miravel::server {

// Trimmed of white space and lower-cased (ASCII), so "Ann@Example.org " signs in to the
// account "ann@example.org" was registered as. Nothing when it is no plausible address: one
// "@" with text on both sides, no white space or control characters, at most 254 bytes.
std::optional<std::string> normalizedEmail(std::string_view email);

inline constexpr std::size_t kMinPasswordCharacters = 6;
inline constexpr std::size_t kMaxPasswordBytes = 1024;

// Argon2id through libsodium. Hashing is deliberately slow and memory-hungry, so at most two
// run at once whatever the number of request threads.
class PasswordHasher {
public:
    struct Cost {
        unsigned long long passes = 3;
        std::size_t memoryBytes = 19 * 1024 * 1024;
    };
    explicit PasswordHasher(Cost cost);

    std::optional<std::string> hash(std::string_view password);
    bool verify(const std::string& storedHash, std::string_view password);
    // The same work as verify() for an account that does not exist, so that timing does not
    // tell which e-mail addresses have accounts.
    void verifyNothing(std::string_view password);

private:
    Cost m_cost;
    std::counting_semaphore<2> m_slots{2};
    std::string m_decoyHash;
};

// Recently verified credentials, so that the Basic authentication on every sync request does
// not cost an Argon2 hash each. Entries are keyed BLAKE2b digests (a random key per process)
// of the length-prefixed e-mail, stored hash and password: nothing reversible is kept, a
// password change (a new stored hash) misses at once, and no two different triples share a
// key however their texts are split. Only successes are kept, for a limited time and number.
class CredentialCache {
public:
    using Clock = std::chrono::steady_clock;
    using Key = std::array<unsigned char, 32>;

    CredentialCache(std::chrono::seconds lifetime = std::chrono::minutes(5),
                    std::size_t capacity = 10000);

    Key keyOf(std::string_view email, std::string_view storedHash, std::string_view password) const;
    bool contains(const Key& key, Clock::time_point now = Clock::now());
    void insert(const Key& key, Clock::time_point now = Clock::now());
    std::size_t size();

private:
    std::array<unsigned char, 32> m_secret{};
    std::chrono::seconds m_lifetime;
    std::size_t m_capacity;
    std::mutex m_mutex;
    std::map<Key, Clock::time_point> m_entries;  // expiry
};

// Failed logins per client address: after kFreeFailures, each further attempt from that
// address waits twice as long as the one before (up to 15 minutes), and is refused unchecked
// meanwhile. It is counted per address, never per account, so a guesser elsewhere cannot lock
// the owner out. Counts live in this process; several processes each throttle on their own.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFreeFailures = 5;

    // How long the address must still wait; zero when it may try.
    std::chrono::seconds waitFor(const std::string& address, Clock::time_point now = Clock::now());
    void recordFailure(const std::string& address, Clock::time_point now = Clock::now());
    void recordSuccess(const std::string& address);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point blockedUntil{};
        Clock::time_point lastFailure{};
    };
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
};

enum class RegistrationPolicy { Open, First, Closed };

// Registration, login and the check of each authenticated request.
class AccountService {
public:
    AccountService(Storage& storage, PasswordHasher& hasher, RegistrationPolicy policy);

    ApiResult<Account> registerAccount(std::string_view email, std::string_view password,
                                       const std::string& address);
    ApiResult<Account> login(std::string_view email, std::string_view password,
                             const std::string& address);
    // For the operator's command line: no throttling, any policy.
    ApiResult<Account> createAccount(std::string_view email, std::string_view password);
    ApiResult<void> resetPassword(std::string_view email, std::string_view password);

    CredentialCache& cache() { return m_cache; }

private:
    ApiResult<std::string> checkedPassword(std::string_view password);

    Storage& m_storage;
    PasswordHasher& m_hasher;
    RegistrationPolicy m_policy;
    CredentialCache m_cache;
    LoginThrottle m_throttle;
};

}  // namespace miravel::server
