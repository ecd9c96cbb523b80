#include <gtest/gtest.h>

#include "server/Accounts.h"

namespace miravel::server {
namespace {

TEST(CredentialCache, keysKeepTheFieldsApartHoweverTheTextsAreSplit) {
    CredentialCache cache;
    const auto key = cache.keyOf("ann@example.org", "$argon2id$H", "password");
    EXPECT_EQ(key, cache.keyOf("ann@example.org", "$argon2id$H", "password"));
    // Without separators these would all hash the same bytes and let a wrong password in.
    EXPECT_NE(key, cache.keyOf("ann@example.org", "$argon2id$Hp", "assword"));
    EXPECT_NE(key, cache.keyOf("ann@example.org$argon2id$H", "", "password"));
    EXPECT_NE(key, cache.keyOf("", "ann@example.org$argon2id$H", "password"));
    // Another process has another secret: keys are useless outside it.
    CredentialCache other;
    EXPECT_NE(key, other.keyOf("ann@example.org", "$argon2id$H", "password"));
}

TEST(CredentialCache, entriesExpireAndTheSizeStaysBounded) {
    using namespace std::chrono_literals;
    CredentialCache cache(60s, 3);
    const auto now = CredentialCache::Clock::now();
    const auto key = cache.keyOf("a", "h", "p");
    cache.insert(key, now);
    EXPECT_TRUE(cache.contains(key, now + 59s));
    EXPECT_FALSE(cache.contains(key, now + 61s));
    for (int i = 0; i < 10; ++i) {
        cache.insert(cache.keyOf("a", "h", std::to_string(i)), now);
        EXPECT_LE(cache.size(), 3u);
    }
}

TEST(LoginThrottle, backsOffPerAddressAndForgetsOnSuccess) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto now = LoginThrottle::Clock::now();
    for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) {
        throttle.recordFailure("10.0.0.1", now);
    }
    EXPECT_EQ(throttle.waitFor("10.0.0.1", now), 0s);
    throttle.recordFailure("10.0.0.1", now);
    EXPECT_EQ(throttle.waitFor("10.0.0.1", now), 1s);
    throttle.recordFailure("10.0.0.1", now);
    EXPECT_EQ(throttle.waitFor("10.0.0.1", now), 2s);
    for (int i = 0; i < 30; ++i) {
        throttle.recordFailure("10.0.0.1", now);
    }
    EXPECT_LE(throttle.waitFor("10.0.0.1", now), 900s);
    // Another address, the owner's, is not held up.
    EXPECT_EQ(throttle.waitFor("10.0.0.2", now), 0s);
    throttle.recordSuccess("10.0.0.1");
    EXPECT_EQ(throttle.waitFor("10.0.0.1", now), 0s);
}

TEST(Accounts, emailsAreNormalisedOrRefused) {
    EXPECT_EQ(normalizedEmail("  Ann@Example.ORG\n"), "ann@example.org");
    EXPECT_FALSE(normalizedEmail("ann"));
    EXPECT_FALSE(normalizedEmail("@example.org"));
    EXPECT_FALSE(normalizedEmail("ann@"));
    EXPECT_FALSE(normalizedEmail("a@b@c"));
    EXPECT_FALSE(normalizedEmail("ann smith@example.org"));
    EXPECT_FALSE(normalizedEmail(std::string(250, 'a') + "@b.org"));
}

}  // namespace
}  // namespace miravel::server
