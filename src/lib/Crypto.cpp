#include "lib/Crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "lib/Log.h"

namespace miravel {

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) !=
        1) {
        // Only a broken crypto library gets here; a wrong hash would silently corrupt sync.
        logLine("SHA-256 failed in libcrypto");
        std::abort();
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(std::size_t{length} * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0F]);
    }
    return hex;
}

std::string base64Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                 reinterpret_cast<const unsigned char*>(bytes.data()),
                                 static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char ch : text) {
        if (ch != ' ' && ch != '\n' && ch != '\r' && ch != '\t') {
            compact.push_back(ch);
        }
    }
    if (compact.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < compact.size() &&
           compact[compact.size() - 1 - padding] == '=') {
        ++padding;
    }
    // EVP_DecodeBlock accepts '=' anywhere; only trailing padding is Base64.
    if (compact.find('=') < compact.size() - padding) {
        return std::nullopt;
    }
    std::string bytes(compact.size() / 4 * 3, '\0');
    int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                 reinterpret_cast<const unsigned char*>(compact.data()),
                                 static_cast<int>(compact.size()));
    if (length < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the padding as zero bytes of output.
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

std::string newUid() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        // Without randomness, uids could collide across devices and merge unrelated records.
        logLine("The system random generator failed; cannot create a unique identifier");
        std::abort();
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::optional<std::string> decodeLenientBase64(std::string_view text) {
    // Nearly all of it is plain Base64, wrapped or not, which the strict reader takes as is.
    if (auto strict = base64Decode(text)) {
        return strict;
    }
    std::string kept;
    kept.reserve(text.size() + 3);
    for (char ch : text) {
        const bool alphabet = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                              (ch >= '0' && ch <= '9') || ch == '+' || ch == '/';
        if (alphabet) {
            kept.push_back(ch);
        }
    }
    if (kept.size() % 4 == 1) {
        kept.pop_back();
    }
    kept.append((4 - kept.size() % 4) % 4, '=');
    return base64Decode(kept);
}

}  // namespace miravel
