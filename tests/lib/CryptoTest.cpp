#include "lib/Crypto.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace miravel {
namespace {

TEST(Crypto, sha256MatchesPublishedVectors) {
    struct Case {
        std::string input;
        std::string hex;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string("\0\xff", 2), sha256Hex(std::string("\0\xff", 2))},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sha256Hex(c.input), c.hex) << c.input;
    }
    // Embedded NUL bytes count: hashing stops at the length, not at the first zero.
    EXPECT_NE(sha256Hex(std::string("a\0b", 3)), sha256Hex("a"));
}

TEST(Crypto, base64MatchesRfcVectorsBothWays) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(base64Encode(bytes), text);
        EXPECT_EQ(base64Decode(text), bytes) << text;
    }
    std::string every;
    for (int i = 0; i < 256; ++i) {
        every.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(base64Decode(base64Encode(every)), every);
    EXPECT_EQ(base64Decode("Zm9v\nYmFy\r\n"), "foobar");
}

TEST(Crypto, base64RefusesWhatIsNotBase64) {
    for (const char* text : {"Zg=", "Z===", "Zm9v!A==", "Zg==Zg==", "=Zm9", "Zm9vY"}) {
        EXPECT_FALSE(base64Decode(text).has_value()) << text;
    }
}

TEST(Crypto, lenientBase64TakesWhatOtherProgramsWrite) {
    // Wrapped at any width, padding anywhere or left out, stray characters between.
    EXPECT_EQ(decodeLenientBase64("Zm9v\nYmFy"), "foobar");
    EXPECT_EQ(decodeLenientBase64("Zm9vYg"), "foob");
    EXPECT_EQ(decodeLenientBase64("Zm=9v YmE=\r\n"), "fooba");
    EXPECT_EQ(decodeLenientBase64("  Z m 9 v  "), "foo");
    // A lone last character carries no whole byte: the bytes before it are kept.
    EXPECT_EQ(decodeLenientBase64("Zm9vY"), "foo");
    EXPECT_EQ(decodeLenientBase64(""), "");
}

TEST(Crypto, newUidsAreUpperCaseVersion4AndDistinct) {
    const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        std::string uid = newUid();
        ASSERT_TRUE(std::regex_match(uid, shape)) << uid;
        seen.insert(uid);
    }
    EXPECT_EQ(seen.size(), 10000u);
}

}  // namespace
}  // namespace miravel
