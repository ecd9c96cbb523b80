#include "browser/PageText.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "lib/TextPieces.h"
#include "lib/Utf8.h"

namespace miravel {

namespace {

// How far into a page a charset declaration counts. Browsers look at the first 1024 bytes;
// pages that declare later than that are mostly UTF-8 ones behind a long head of comments.
constexpr std::size_t kDeclarationWindow = 4096;

char lowered(char ch) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (at + prefix.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowered(text[at + i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

std::size_t findNoCase(std::string_view text, std::string_view needle, std::size_t from) {
    // The needle's first letter in both cases, so the scan runs at memchr speed.
    const char lower = needle[0];
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(lower)));
    for (std::size_t at = from; at < text.size();) {
        const std::size_t a = text.find(lower, at);
        const std::size_t b = lower == upper ? a : text.find(upper, at);
        const std::size_t next = std::min(a, b);
        if (next == std::string_view::npos) {
            return next;
        }
        if (startsWithNoCase(text, next, needle)) {
            return next;
        }
        at = next + 1;
    }
    return std::string_view::npos;
}

// The end of the tag that starts at `at` ('<'): the '>' outside quoted attribute values.
std::size_t tagEnd(std::string_view text, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char ch = text[i];
        if (quote != 0) {
            if (ch == quote) {
                quote = 0;
            }
        } else if (ch == '"' || ch == '\'') {
            // Only a quote that opens an attribute value quotes; one inside a bare word is text.
            if (text[i - 1] == '=' || isWhiteSpace(text[i - 1])) {
                quote = ch;
            }
        } else if (ch == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The value of attribute `name` in the tag text (between '<' and '>'), or nothing: the
// attributes read as an HTML tokenizer reads them, so that a name inside another attribute's
// value does not count.
std::optional<std::string_view> attributeValue(std::string_view tag, std::string_view name) {
    std::size_t i = 0;
    while (i < tag.size() && !isWhiteSpace(tag[i]) && tag[i] != '/') {
        ++i;  // the tag's own name
    }
    while (i < tag.size()) {
        while (i < tag.size() && (isWhiteSpace(tag[i]) || tag[i] == '/')) {
            ++i;
        }
        const std::size_t nameStart = i;
        while (i < tag.size() && !isWhiteSpace(tag[i]) && tag[i] != '=' && tag[i] != '/') {
            ++i;
        }
        const std::string_view attribute = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && isWhiteSpace(tag[i])) {
            ++i;
        }
        std::string_view value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && isWhiteSpace(tag[i])) {
                ++i;
            }
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const std::size_t close = tag.find(tag[i], i + 1);
                const std::size_t end = close == std::string_view::npos ? tag.size() : close;
                value = tag.substr(i + 1, end - i - 1);
                i = end + 1;
            } else {
                const std::size_t start = i;
                while (i < tag.size() && !isWhiteSpace(tag[i])) {
                    ++i;
                }
                value = tag.substr(start, i - start);
                // "<meta charset=utf-8/>": the slash closes the tag.
                if (i == tag.size() && value.ends_with('/')) {
                    value.remove_suffix(1);
                }
            }
        }
        if (attribute.size() == name.size() && startsWithNoCase(attribute, 0, name)) {
            return value;
        }
        if (attribute.empty() && i < tag.size()) {
            ++i;
        }
    }
    return std::nullopt;
}

std::string charsetFromContent(std::string_view content) {
    const std::size_t at = findNoCase(content, "charset", 0);
    if (at == std::string_view::npos) {
        return {};
    }
    std::size_t i = at + 7;
    while (i < content.size() && isWhiteSpace(content[i])) {
        ++i;
    }
    if (i >= content.size() || content[i] != '=') {
        return {};
    }
    ++i;
    while (i < content.size() &&
           (isWhiteSpace(content[i]) || content[i] == '"' || content[i] == '\'')) {
        ++i;
    }
    std::size_t end = i;
    while (end < content.size() && !isWhiteSpace(content[end]) && content[end] != ';' &&
           content[end] != '"' && content[end] != '\'') {
        ++end;
    }
    return std::string(content.substr(i, end - i));
}

}  // namespace

std::string declaredCharset(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, std::min(bytes.size(), kDeclarationWindow));
    for (std::size_t at = 0; (at = findNoCase(head, "<meta", at)) != std::string_view::npos;) {
        const std::size_t end = tagEnd(head, at);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view tag = head.substr(at + 1, end - at - 1);
        if (auto charset = attributeValue(tag, "charset")) {
            return std::string(trimCharacters(*charset, kWhiteSpace));
        }
        if (auto content = attributeValue(tag, "content")) {
            const auto equiv = attributeValue(tag, "http-equiv");
            if (equiv && startsWithNoCase(*equiv, 0, "content-type")) {
                std::string charset = charsetFromContent(*content);
                if (!charset.empty()) {
                    return charset;
                }
            }
        }
        at = end;
    }
    return {};
}

DecodedText decodePage(std::string_view bytes) {
    if (auto marked = decodeByteOrderMark(bytes)) {
        return std::move(*marked);
    }
    const std::string charset = declaredCharset(bytes);
    if (!charset.empty()) {
        if (auto declared = decodeTextAs(bytes, charset)) {
            return std::move(*declared);
        }
    }
    DecodedText decoded;
    decoded.encoding = "UTF-8";
    decoded.source = TextSource::Utf8;
    if (isValidUtf8(bytes)) {
        decoded.text = bytes;
        return decoded;
    }
    RepairedUtf8 repaired = replacingInvalidUtf8(bytes);
    decoded.text = std::move(repaired.text);
    decoded.replaced = repaired.replaced;
    return decoded;
}

namespace {

// Where the raw text of a script or style element that starts at `open` ends: at the first
// end tag of the same name, as the tokenizer ends it.
std::size_t rawTextEnd(std::string_view page, std::size_t from, std::string_view endTag) {
    for (std::size_t at = from; (at = findNoCase(page, endTag, at)) != std::string_view::npos;
         ++at) {
        const std::size_t after = at + endTag.size();
        if (after >= page.size() || isWhiteSpace(page[after]) || page[after] == '>' ||
            page[after] == '/') {
            return at;
        }
    }
    return page.size();
}

}  // namespace

std::string withoutScriptContents(std::string_view page) {
    std::string result;
    result.reserve(page.size() / 2);
    std::size_t copied = 0;
    for (std::size_t at = 0; at < page.size();) {
        const std::size_t open = page.find('<', at);
        if (open == std::string_view::npos) {
            break;
        }
        if (page.compare(open, 4, "<!--") == 0) {
            const std::size_t close = page.find("-->", open + 4);
            at = close == std::string_view::npos ? page.size() : close + 3;
            continue;
        }
        std::string_view endTag;
        std::size_t nameLength = 0;
        if (startsWithNoCase(page, open, "<script")) {
            endTag = "</script";
            nameLength = 7;
        } else if (startsWithNoCase(page, open, "<style")) {
            endTag = "</style";
            nameLength = 6;
        } else if (startsWithNoCase(page, open, "<svg")) {
            endTag = "</svg";
            nameLength = 4;
        }
        if (endTag.empty() || open + nameLength >= page.size() ||
            !(isWhiteSpace(page[open + nameLength]) || page[open + nameLength] == '>' ||
              page[open + nameLength] == '/')) {
            at = open + 1;
            continue;
        }
        const std::size_t end = tagEnd(page, open);
        if (end == std::string_view::npos) {
            break;
        }
        const std::size_t contentEnd = rawTextEnd(page, end + 1, endTag);
        result.append(page.substr(copied, end + 1 - copied));
        copied = contentEnd;
        at = contentEnd;
    }
    result.append(page.substr(copied));
    return result;
}

bool isJsonLdType(std::string_view type) {
    const std::string_view trimmed = trimCharacters(type, kWhiteSpace);
    return trimmed.size() >= 19 && startsWithNoCase(trimmed, 0, "application/ld+json");
}

std::vector<std::string_view> jsonLdBlocks(std::string_view page) {
    std::vector<std::string_view> blocks;
    for (std::size_t at = 0; at < page.size();) {
        const std::size_t open = page.find('<', at);
        if (open == std::string_view::npos) {
            break;
        }
        if (page.compare(open, 4, "<!--") == 0) {
            const std::size_t close = page.find("-->", open + 4);
            if (close == std::string_view::npos) {
                break;
            }
            at = close + 3;
            continue;
        }
        if (!startsWithNoCase(page, open, "<script") || open + 7 >= page.size() ||
            !(isWhiteSpace(page[open + 7]) || page[open + 7] == '>' || page[open + 7] == '/')) {
            at = open + 1;
            continue;
        }
        const std::size_t end = tagEnd(page, open);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view tag = page.substr(open + 1, end - open - 1);
        const std::size_t contentEnd = rawTextEnd(page, end + 1, "</script");
        const auto type = attributeValue(tag, "type");
        if (type && isJsonLdType(*type)) {
            blocks.push_back(page.substr(end + 1, contentEnd - end - 1));
        }
        at = contentEnd;
    }
    return blocks;
}

}  // namespace miravel
