#include "browser/HtmlText.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "lib/Utf8.h"

namespace miravel {

namespace {

struct NamedReference {
    std::string_view name;
    char32_t codePoint;
};

// Sorted by name, for a binary search.
constexpr auto kNamedReferences = std::to_array<NamedReference>({
    {"AElig", 0xC6},    {"Aacute", 0xC1},   {"Acirc", 0xC2},    {"Agrave", 0xC0},
    {"Aring", 0xC5},    {"Atilde", 0xC3},   {"Auml", 0xC4},     {"Ccedil", 0xC7},
    {"ETH", 0xD0},      {"Eacute", 0xC9},   {"Ecirc", 0xCA},    {"Egrave", 0xC8},
    {"Euml", 0xCB},     {"Iacute", 0xCD},   {"Icirc", 0xCE},    {"Igrave", 0xCC},
    {"Iuml", 0xCF},     {"Ntilde", 0xD1},   {"OElig", 0x152},   {"Oacute", 0xD3},
    {"Ocirc", 0xD4},    {"Ograve", 0xD2},   {"Oslash", 0xD8},   {"Otilde", 0xD5},
    {"Ouml", 0xD6},     {"Prime", 0x2033},  {"Scaron", 0x160},  {"THORN", 0xDE},
    {"Uacute", 0xDA},   {"Ucirc", 0xDB},    {"Ugrave", 0xD9},   {"Uuml", 0xDC},
    {"Yacute", 0xDD},   {"Yuml", 0x178},    {"aacute", 0xE1},   {"acirc", 0xE2},
    {"acute", 0xB4},    {"aelig", 0xE6},    {"agrave", 0xE0},   {"amp", '&'},
    {"apos", '\''},     {"aring", 0xE5},    {"atilde", 0xE3},   {"auml", 0xE4},
    {"bdquo", 0x201E},  {"brvbar", 0xA6},   {"bull", 0x2022},   {"ccedil", 0xE7},
    {"cedil", 0xB8},    {"cent", 0xA2},     {"copy", 0xA9},     {"curren", 0xA4},
    {"dagger", 0x2020}, {"deg", 0xB0},      {"divide", 0xF7},   {"eacute", 0xE9},
    {"ecirc", 0xEA},    {"egrave", 0xE8},   {"emsp", 0x2003},   {"ensp", 0x2002},
    {"eth", 0xF0},      {"euml", 0xEB},     {"euro", 0x20AC},   {"frac12", 0xBD},
    {"frac13", 0x2153}, {"frac14", 0xBC},   {"frac15", 0x2155}, {"frac16", 0x2159},
    {"frac18", 0x215B}, {"frac23", 0x2154}, {"frac34", 0xBE},   {"frac38", 0x215C},
    {"frac58", 0x215D}, {"frac78", 0x215E}, {"frasl", 0x2044},  {"gt", '>'},
    {"half", 0xBD},     {"hellip", 0x2026}, {"iacute", 0xED},   {"icirc", 0xEE},
    {"iexcl", 0xA1},    {"igrave", 0xEC},   {"iquest", 0xBF},   {"iuml", 0xEF},
    {"laquo", 0xAB},    {"ldquo", 0x201C},  {"lrm", 0x200E},    {"lsaquo", 0x2039},
    {"lsquo", 0x2018},  {"lt", '<'},        {"macr", 0xAF},     {"mdash", 0x2014},
    {"micro", 0xB5},    {"middot", 0xB7},   {"minus", 0x2212},  {"nbsp", 0xA0},
    {"ndash", 0x2013},  {"not", 0xAC},      {"ntilde", 0xF1},   {"oacute", 0xF3},
    {"ocirc", 0xF4},    {"oelig", 0x153},   {"ograve", 0xF2},   {"ordf", 0xAA},
    {"ordm", 0xBA},     {"oslash", 0xF8},   {"otilde", 0xF5},   {"ouml", 0xF6},
    {"para", 0xB6},     {"plusmn", 0xB1},   {"pound", 0xA3},    {"prime", 0x2032},
    {"quot", '"'},      {"raquo", 0xBB},    {"rdquo", 0x201D},  {"reg", 0xAE},
    {"rlm", 0x200F},    {"rsaquo", 0x203A}, {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"scaron", 0x161},  {"sect", 0xA7},     {"shy", 0xAD},      {"sup1", 0xB9},
    {"sup2", 0xB2},     {"sup3", 0xB3},     {"szlig", 0xDF},    {"thinsp", 0x2009},
    {"thorn", 0xFE},    {"times", 0xD7},    {"trade", 0x2122},  {"uacute", 0xFA},
    {"ucirc", 0xFB},    {"ugrave", 0xF9},   {"uml", 0xA8},      {"uuml", 0xFC},
    {"yacute", 0xFD},   {"yen", 0xA5},      {"yuml", 0xFF},     {"zwj", 0x200D},
    {"zwnj", 0x200C},
});

// What browsers make of a numeric reference into the C1 range: the Windows-1252 character.
constexpr std::array<char16_t, 32> kC1AsWindows1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isAsciiAlphanumeric(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

// The reference at `text[at]` (an '&'): its code point and length, or length 0.
std::pair<char32_t, std::size_t> readReference(std::string_view text, std::size_t at) {
    std::size_t position = at + 1;
    if (position < text.size() && text[position] == '#') {
        ++position;
        const bool hex = position < text.size() && (text[position] == 'x' || text[position] == 'X');
        position += hex ? 1 : 0;
        const std::size_t digitsStart = position;
        std::uint32_t value = 0;
        while (position < text.size()) {
            const int digit =
                hex ? hexDigitValue(text[position])
                    : (text[position] >= '0' && text[position] <= '9' ? text[position] - '0' : -1);
            if (digit < 0) {
                break;
            }
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
            ++position;
        }
        if (position == digitsStart) {
            return {0, 0};
        }
        if (position < text.size() && text[position] == ';') {
            ++position;
        }
        char32_t codePoint = value;
        if (codePoint >= 0x80 && codePoint <= 0x9F) {
            codePoint = kC1AsWindows1252[codePoint - 0x80];
        } else if (codePoint == 0 || codePoint > 0x10FFFF ||
                   (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            codePoint = 0xFFFD;
        }
        return {codePoint, position - at};
    }
    const std::size_t nameStart = position;
    while (position < text.size() && position - nameStart < 10 &&
           isAsciiAlphanumeric(text[position])) {
        ++position;
    }
    if (position >= text.size() || text[position] != ';') {
        return {0, 0};
    }
    const std::string_view name = text.substr(nameStart, position - nameStart);
    const auto found = std::lower_bound(
        kNamedReferences.begin(), kNamedReferences.end(), name,
        [](const NamedReference& reference, std::string_view key) { return reference.name < key; });
    if (found == kNamedReferences.end() || found->name != name) {
        return {0, 0};
    }
    return {found->codePoint, position + 1 - at};
}

// The length of the Unicode blank at `text[at]`, or 0. No-break and typographic spaces are
// what pages put between a number and its unit.
std::size_t blankLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' ||
        byte == '\v') {
        return 1;
    }
    if (byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) == 0xA0) {
        return 2;
    }
    if (byte == 0xE2 && at + 2 < text.size()) {
        const auto second = static_cast<unsigned char>(text[at + 1]);
        const auto third = static_cast<unsigned char>(text[at + 2]);
        if (second == 0x80 && ((third >= 0x80 && third <= 0x8A) || third == 0xAF)) {
            return 3;
        }
    }
    if (byte == 0xE3 && at + 2 < text.size() && static_cast<unsigned char>(text[at + 1]) == 0x80 &&
        static_cast<unsigned char>(text[at + 2]) == 0x80) {
        return 3;
    }
    return 0;
}

// Zero-width characters that pages leave inside words and at the ends of values.
std::size_t invisibleLength(std::string_view text, std::size_t at) {
    if (static_cast<unsigned char>(text[at]) == 0xE2 && at + 2 < text.size() &&
        static_cast<unsigned char>(text[at + 1]) == 0x80) {
        const auto third = static_cast<unsigned char>(text[at + 2]);
        if (third == 0x8B || third == 0x8C || third == 0x8D) {
            return 3;
        }
    }
    if (static_cast<unsigned char>(text[at]) == 0xEF && at + 2 < text.size() &&
        static_cast<unsigned char>(text[at + 1]) == 0xBB &&
        static_cast<unsigned char>(text[at + 2]) == 0xBF) {
        return 3;
    }
    return 0;
}

// Whether a tag (its text after '<') separates words: block elements and line breaks do,
// inline ones ("<b>small onion</b>,") do not.
bool separatesWords(std::string_view tag) {
    std::size_t start = tag.starts_with('/') ? 1 : 0;
    std::size_t end = start;
    while (end < tag.size() && isAsciiAlphanumeric(tag[end])) {
        ++end;
    }
    std::string name;
    for (char ch : tag.substr(start, end - start)) {
        name.push_back(static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch));
    }
    static constexpr std::string_view kBlocks[] = {
        "br", "p",  "div", "li", "ul",    "ol",      "h1",      "h2",         "h3", "h4", "h5",
        "h6", "tr", "td",  "th", "table", "section", "article", "blockquote", "dd", "dt", "hr"};
    for (std::string_view block : kBlocks) {
        if (name == block) {
            return true;
        }
    }
    return false;
}

// Text with its tags removed. A '<' that opens no tag (a letter, '/', '!' or '?' must
// follow) is text, as in "< 5 minutes".
std::string withoutTags(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const bool opensTag = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') ||
                                  next == '/' || next == '!' || next == '?';
            const std::size_t close = opensTag ? text.find('>', i + 1) : std::string_view::npos;
            if (close != std::string_view::npos) {
                if (separatesWords(text.substr(i + 1, close - i - 1))) {
                    result.push_back(' ');
                }
                i = close;
                continue;
            }
        }
        result.push_back(text[i]);
    }
    return result;
}

}  // namespace

std::string decodeHtmlEntities(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            result.append(text.substr(i));
            break;
        }
        result.append(text.substr(i, amp - i));
        const auto [codePoint, length] = readReference(text, amp);
        if (length == 0) {
            result.push_back('&');
            i = amp + 1;
        } else {
            appendUtf8(result, codePoint);
            i = amp + length;
        }
    }
    return result;
}

std::string collapsedWhiteSpace(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    bool pendingBlank = false;
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t blank = blankLength(text, i)) {
            pendingBlank = true;
            i += blank;
            continue;
        }
        if (const std::size_t invisible = invisibleLength(text, i)) {
            i += invisible;
            continue;
        }
        if (pendingBlank && !result.empty()) {
            result.push_back(' ');
        }
        pendingBlank = false;
        result.push_back(text[i]);
        ++i;
    }
    return result;
}

std::string plainTextOfHtml(std::string_view text) {
    if (text.find_first_of("<&") == std::string_view::npos) {
        return collapsedWhiteSpace(text);
    }
    std::string decoded = decodeHtmlEntities(withoutTags(text));
    if (decoded.find('<') != std::string::npos) {
        decoded = withoutTags(decoded);
    }
    return collapsedWhiteSpace(decoded);
}

}  // namespace miravel
