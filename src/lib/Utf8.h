#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace miravel {

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8.
inline void appendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The value of one hexadecimal digit, or -1.
inline int hexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

// Reads the code point at `position` and moves past it. An invalid or truncated sequence,
// an overlong form or an encoded surrogate reads as one U+FFFD for its first byte.
inline char32_t nextUtf8(std::string_view text, std::size_t& position) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(position);
    if (lead < 0x80) {
        ++position;
        return lead;
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    }
    if (length == 0 || position + length > text.size()) {
        ++position;
        return 0xFFFD;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(position + i);
        if ((next & 0xC0) != 0x80) {
            ++position;
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++position;
        return 0xFFFD;
    }
    position += length;
    return codePoint;
}

// Whether the code point read by nextUtf8 from `start` to `end` was really there, rather than
// standing in for an invalid byte: a U+FFFD written in the text takes three bytes.
inline bool readValidUtf8(char32_t codePoint, std::size_t start, std::size_t end) {
    return codePoint != 0xFFFD || end - start == 3;
}

// Whether `text` is well-formed UTF-8: no stray continuation bytes, truncated sequences,
// overlong forms, encoded surrogates or code points past U+10FFFF.
inline bool isValidUtf8(std::string_view text) {
    for (std::size_t position = 0; position < text.size();) {
        if (static_cast<unsigned char>(text[position]) < 0x80) {
            ++position;
            continue;
        }
        const std::size_t start = position;
        const char32_t codePoint = nextUtf8(text, position);
        if (!readValidUtf8(codePoint, start, position)) {
            return false;
        }
    }
    return true;
}

// Text from a file of another program is kept rather than refused: each byte that is not
// part of a valid sequence becomes U+FFFD, and `replaced` says how many did, for the report.
struct RepairedUtf8 {
    std::string text;
    std::size_t replaced = 0;
};

inline RepairedUtf8 replacingInvalidUtf8(std::string_view text) {
    RepairedUtf8 repaired;
    if (isValidUtf8(text)) {
        repaired.text = text;
        return repaired;
    }
    repaired.text.reserve(text.size() + 8);
    for (std::size_t position = 0; position < text.size();) {
        const std::size_t start = position;
        const char32_t codePoint = nextUtf8(text, position);
        if (readValidUtf8(codePoint, start, position)) {
            repaired.text.append(text, start, position - start);
        } else {
            appendUtf8(repaired.text, 0xFFFD);
            ++repaired.replaced;
        }
    }
    return repaired;
}

}  // namespace miravel
