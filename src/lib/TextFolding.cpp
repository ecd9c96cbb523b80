#include "lib/TextFolding.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <climits>
#include <cstdint>

namespace miravel {
namespace {

enum Mode : unsigned { kCase = 1, kDiacritics = 2, kBoth = 3 };

std::string foldWithIcu(std::string_view utf8, unsigned mode) {
    // ICU counts in int32_t; no text this program keeps comes near that, and returning it
    // unfolded is better than crashing on it.
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
        return std::string(utf8);
    }
    // fromUTF8 turns every invalid sequence into U+FFFD, so the result is always valid.
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    if ((mode & kCase) != 0) {
        text.foldCase(U_FOLD_CASE_DEFAULT);
    }
    if ((mode & kDiacritics) != 0) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
        const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_SUCCESS(status)) {
            const icu::UnicodeString decomposed = nfd->normalize(text, status);
            icu::UnicodeString stripped;
            for (int32_t i = 0; i < decomposed.length();) {
                const UChar32 c = decomposed.char32At(i);
                if (u_charType(c) != U_NON_SPACING_MARK) {
                    stripped.append(c);
                }
                i += U16_LENGTH(c);
            }
            icu::UnicodeString composed = nfc->normalize(stripped, status);
            if (U_SUCCESS(status)) {
                text = std::move(composed);
            }
        }
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

// Code points below U+0250 (Latin-1 and Latin Extended-A/B) fold one by one: they have no
// context-dependent case folding, each decomposes to a letter followed by marks only, and no
// two of them compose with each other. So folding such text is the concatenation of folding
// its characters, which ICU computes once here.
constexpr char32_t kLatinEnd = 0x250;
constexpr std::size_t kLatinCount = kLatinEnd - 0x80;

struct LatinTables {
    std::array<std::array<std::string, kLatinCount>, 4> byMode;
};

const LatinTables& latinTables() {
    static const LatinTables tables = [] {
        LatinTables built;
        for (char32_t c = 0x80; c < kLatinEnd; ++c) {
            const char utf8[2] = {static_cast<char>(0xC0 | (c >> 6)),
                                  static_cast<char>(0x80 | (c & 0x3F))};
            for (unsigned mode = kCase; mode <= kBoth; ++mode) {
                built.byMode[mode][c - 0x80] = foldWithIcu(std::string_view(utf8, 2), mode);
            }
        }
        return built;
    }();
    return tables;
}

std::string fold(std::string_view utf8, unsigned mode) {
    const bool lowerAscii = (mode & kCase) != 0;
    std::string result;
    result.reserve(utf8.size());
    const std::array<std::string, kLatinCount>* latin = nullptr;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            result.push_back(lowerAscii && byte >= 'A' && byte <= 'Z'
                                 ? static_cast<char>(byte - 'A' + 'a')
                                 : static_cast<char>(byte));
            ++i;
            continue;
        }
        // A two-byte sequence (0xC2 rules out overlong forms) of a code point below U+0250.
        const char32_t c =
            i + 1 < utf8.size() && byte >= 0xC2 && byte <= 0xDF &&
                    (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80
                ? ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu)
                : kLatinEnd;
        if (c < kLatinEnd) {
            if (latin == nullptr) {
                latin = &latinTables().byMode[mode];
            }
            result += (*latin)[c - 0x80];
            i += 2;
            continue;
        }
        return foldWithIcu(utf8, mode);
    }
    return result;
}

}  // namespace

std::string foldCase(std::string_view utf8) {
    return fold(utf8, kCase);
}

std::string foldDiacritics(std::string_view utf8) {
    return fold(utf8, kDiacritics);
}

std::string foldCaseAndDiacritics(std::string_view utf8) {
    return fold(utf8, kBoth);
}

std::string lowerCased(std::string_view utf8) {
    std::string lower;
    icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))
        .toLower()
        .toUTF8String(lower);
    return lower;
}

}  // namespace miravel
