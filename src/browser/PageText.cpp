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

// Whether a tag of this name ("<script", "</style") starts at `at`.
bool isTagNamed(std::string_view page, std::size_t at, std::string_view opening) {
    const std::size_t after = at + opening.size();
    return startsWithNoCase(page, at, opening) && after < page.size() &&
           (isWhiteSpace(page[after]) || page[after] == '>' || page[after] == '/');
}

// Where the raw text of an element (a style's, a title's) that starts at `from` ends: at the
// first end tag of the same name, as the tokenizer ends it.
std::size_t rawTextEnd(std::string_view page, std::size_t from, std::string_view endTag) {
    for (std::size_t at = from; (at = findNoCase(page, endTag, at)) != std::string_view::npos;
         ++at) {
        if (at + endTag.size() >= page.size() || isTagNamed(page, at, endTag)) {
            return at;
        }
    }
    return page.size();
}

// Where a script element's text that starts at `from` ends, as the tokenizer ends it: at the
// first "</script", unless the text opened a comment ("<!--") and, inside it, a script tag;
// then an end tag closes only that inner script, and the comment's end comes first.
std::size_t scriptTextEnd(std::string_view page, std::size_t from) {
    enum class State { Data, Escaped, DoubleEscaped } state = State::Data;
    for (std::size_t at = from; at < page.size();) {
        const std::size_t next = page.find_first_of(state == State::Data ? "<" : "<-", at);
        if (next == std::string_view::npos) {
            break;
        }
        if (page[next] == '-') {
            if (page.compare(next, 3, "-->") == 0) {
                state = State::Data;
                at = next + 3;
            } else {
                at = next + 1;
            }
            continue;
        }
        const bool endTag = next + 8 >= page.size() ? startsWithNoCase(page, next, "</script")
                                                    : isTagNamed(page, next, "</script");
        if (endTag && state != State::DoubleEscaped) {
            return next;
        }
        if (endTag) {
            state = State::Escaped;
            at = next + 8;
        } else if (state == State::Data && page.compare(next, 4, "<!--") == 0) {
            state = State::Escaped;
            at = next + 2;  // "<!-->" ends the comment it opens
        } else if (state == State::Escaped && isTagNamed(page, next, "<script")) {
            state = State::DoubleEscaped;
            at = next + 7;
        } else {
            at = next + 1;
        }
    }
    return page.size();
}

}  // namespace

namespace {

// Every attribute the parser reads from the tree (and those the tree's building reads:
// the type of a hidden input, the colour, face and size that end foreign content, an
// annotation's encoding). Sorted.
constexpr std::string_view kAttributesForTree[] = {
    "class",    "color", "content",  "datetime",  "encoding", "face",
    "hidden",   "href",  "itemprop", "itemscope", "itemtype", "name",
    "property", "size",  "src",      "style",     "type",     "value"};

bool isTagWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f';
}

bool isAsciiLetter(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

// One tag as the tokenizer reads it: from '<' to one past its '>', its name, and the raw text
// of each attribute (name, '=' and value with its quotes). Nothing when the page ends first,
// where the tokenizer drops the tag. A tag is plain when it is written as the standard asks
// (no parse error in it): the HTML parser's reading of broken tags strays from the standard's,
// so only a plain tag is rewritten.
struct Tag {
    std::size_t end = 0;
    std::string_view name;
    struct Attribute {
        std::string_view name, raw, value;  // raw: the name, '=' and the value with its quotes
    };
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    bool plain = true;
};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowered(a[i]) != lowered(b[i])) {
            return false;
        }
    }
    return true;
}

bool isPlainSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

// What may stand in a name, or an unquoted value, of a plain tag.
bool isPlainNameCharacter(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    return byte > 0x20 && byte < 0x7F && ch != '"' && ch != '\'' && ch != '<' && ch != '=' &&
           ch != '>' && ch != '/' && ch != '`';
}

std::optional<Tag> readTag(std::string_view page, std::size_t open) {
    Tag tag;
    std::size_t i = open + (page[open + 1] == '/' ? 2 : 1);
    const std::size_t nameStart = i;
    while (i < page.size() && !isTagWhiteSpace(page[i]) && page[i] != '/' && page[i] != '>') {
        tag.plain = tag.plain && isPlainNameCharacter(page[i]);
        ++i;
    }
    tag.name = page.substr(nameStart, i - nameStart);
    bool separated = true;  // an attribute may start here
    while (i < page.size()) {
        const char ch = page[i];
        if (isTagWhiteSpace(ch)) {
            tag.plain = tag.plain && isPlainSpace(ch);
            separated = true;
            ++i;
        } else if (ch == '>') {
            tag.end = i + 1;
            return tag;
        } else if (ch == '/') {
            ++i;
            tag.selfClosing = i < page.size() && page[i] == '>';
            tag.plain = tag.plain && tag.selfClosing;
        } else {
            // An attribute's name may start with '='; quotes and '<' in it are part of it.
            tag.plain = tag.plain && separated && isPlainNameCharacter(ch);
            const std::size_t start = i++;
            while (i < page.size() && !isTagWhiteSpace(page[i]) && page[i] != '/' &&
                   page[i] != '>' && page[i] != '=') {
                tag.plain = tag.plain && isPlainNameCharacter(page[i]);
                ++i;
            }
            const std::string_view name = page.substr(start, i - start);
            separated = false;
            std::string_view value;
            std::size_t j = i;
            while (j < page.size() && isTagWhiteSpace(page[j])) {
                ++j;
            }
            if (j < page.size() && page[j] == '=') {
                ++j;
                while (j < page.size() && isTagWhiteSpace(page[j])) {
                    ++j;
                }
                if (j < page.size() && (page[j] == '"' || page[j] == '\'')) {
                    const std::size_t close = page.find(page[j], j + 1);
                    if (close == std::string_view::npos) {
                        return std::nullopt;
                    }
                    value = page.substr(j + 1, close - j - 1);
                    tag.plain = tag.plain && value.find('\0') == std::string_view::npos;
                    j = close + 1;
                } else {
                    // An empty value ("a= >") is an error too.
                    tag.plain = tag.plain && j < page.size() && page[j] != '>';
                    const std::size_t valueStart = j;
                    while (j < page.size() && !isTagWhiteSpace(page[j]) && page[j] != '>') {
                        tag.plain = tag.plain && (isPlainNameCharacter(page[j]) || page[j] == '/');
                        ++j;
                    }
                    value = page.substr(valueStart, j - valueStart);
                }
                i = j;
            }
            // A repeated name is an error too; a tag of very many attributes is left as it is
            // rather than checked for one.
            constexpr std::size_t kMostChecked = 32;
            tag.plain = tag.plain && tag.attributes.size() < kMostChecked;
            for (std::size_t k = 0; tag.plain && k < tag.attributes.size(); ++k) {
                tag.plain = !equalNoCase(tag.attributes[k].name, name);
            }
            tag.attributes.push_back({name, page.substr(start, i - start), value});
        }
    }
    return std::nullopt;
}

enum class Contents { Markup, Dropped, Text, TextToTheEnd };

// What follows a start tag of this name, to the tokenizer: script and style contents are
// raw text (dropped here, as are an svg's drawings), a title's and a textarea's and a few
// old elements' are text, a plaintext element's is the rest of the page.
Contents contentsAfter(std::string_view name) {
    for (const std::string_view dropped : {"script", "style", "svg"}) {
        if (name.size() == dropped.size() && startsWithNoCase(name, 0, dropped)) {
            return Contents::Dropped;
        }
    }
    for (const std::string_view text :
         {"title", "textarea", "xmp", "iframe", "noembed", "noframes"}) {
        if (name.size() == text.size() && startsWithNoCase(name, 0, text)) {
            return Contents::Text;
        }
    }
    return name.size() == 9 && startsWithNoCase(name, 0, "plaintext") ? Contents::TextToTheEnd
                                                                      : Contents::Markup;
}

// Where a comment that starts at `open` ("<!--") ends, one past it.
std::size_t commentEnd(std::string_view page, std::size_t open) {
    const std::size_t body = open + 4;
    if (page.compare(body, 1, ">") == 0) {
        return body + 1;
    }
    if (page.compare(body, 2, "->") == 0) {
        return body + 2;
    }
    for (std::size_t at = body; (at = page.find("--", at)) != std::string_view::npos; ++at) {
        if (page.compare(at + 2, 1, ">") == 0) {
            return at + 3;
        }
        if (page.compare(at + 2, 2, "!>") == 0) {
            return at + 4;
        }
    }
    return page.size();
}

}  // namespace

std::span<const std::string_view> attributesForTree() {
    return kAttributesForTree;
}

bool isAttributeForTree(std::string_view name) {
    return std::binary_search(std::begin(kAttributesForTree), std::end(kAttributesForTree), name);
}

std::string pageForTree(std::string_view page) {
    std::string result;
    result.reserve(page.size() / 2);
    std::size_t copied = 0;
    // A run of white space reads as one space wherever the parser takes text (line breaks in
    // the source included: lines end only where blocks do), so one character of it is enough.
    const auto copyTo = [&](std::size_t end) {
        for (std::size_t i = copied; i < end; ++i) {
            if (!isTagWhiteSpace(page[i]) || result.empty() || !isTagWhiteSpace(result.back())) {
                result.push_back(page[i]);
            }
        }
        copied = end;
    };
    for (std::size_t at = 0; at < page.size();) {
        const std::size_t open = page.find('<', at);
        if (open == std::string_view::npos || open + 1 >= page.size()) {
            break;
        }
        const char next = page[open + 1];
        if (page.compare(open, 4, "<!--") == 0) {
            at = commentEnd(page, open);
            continue;
        }
        if (next == '!' || next == '?' ||
            (next == '/' && open + 2 < page.size() && !isAsciiLetter(page[open + 2]) &&
             page[open + 2] != '>')) {
            // A doctype or a bogus comment: to the next '>'.
            const std::size_t close = page.find('>', open);
            at = close == std::string_view::npos ? page.size() : close + 1;
            continue;
        }
        const bool endTag = next == '/' && open + 2 < page.size() && isAsciiLetter(page[open + 2]);
        if (!endTag && !isAsciiLetter(next)) {
            at = open + 1;
            continue;
        }
        const std::optional<Tag> tag = readTag(page, open);
        if (!tag) {
            break;
        }
        at = tag->end;
        if (endTag) {
            continue;
        }
        copyTo(open);
        if (tag->plain) {
            result.push_back('<');
            result.append(tag->name);
            for (const auto& [name, raw, value] : tag->attributes) {
                std::string key;
                for (const char ch : name) {
                    key.push_back(lowered(ch));
                }
                if (isAttributeForTree(key)) {
                    result.push_back(' ');
                    result.append(raw);
                }
            }
            // A space keeps a kept unquoted value from taking the slash.
            result.append(tag->selfClosing ? " />" : ">");
        } else {
            result.append(page.substr(open, tag->end - open));
        }
        copied = tag->end;
        const Contents contents = contentsAfter(tag->name);
        if (contents == Contents::TextToTheEnd) {
            at = page.size();
        } else if (contents != Contents::Markup) {
            std::string endName = "</";
            for (const char ch : tag->name) {
                endName.push_back(lowered(ch));
            }
            const std::size_t contentEnd = endName == "</script"
                                               ? scriptTextEnd(page, tag->end)
                                               : rawTextEnd(page, tag->end, endName);
            if (contents == Contents::Dropped) {
                copied = contentEnd;
            }
            at = contentEnd;
        }
    }
    copyTo(page.size());
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
            at = commentEnd(page, open);
            continue;
        }
        if (!isTagNamed(page, open, "<script")) {
            at = open + 1;
            continue;
        }
        const std::optional<Tag> tag = readTag(page, open);
        if (!tag) {
            break;
        }
        const std::size_t contentEnd = scriptTextEnd(page, tag->end);
        // Of a repeated attribute, the first counts.
        const auto type = std::find_if(
            tag->attributes.begin(), tag->attributes.end(),
            [](const Tag::Attribute& attribute) { return equalNoCase(attribute.name, "type"); });
        if (type != tag->attributes.end() && isJsonLdType(type->value)) {
            blocks.push_back(page.substr(tag->end, contentEnd - tag->end));
        }
        at = contentEnd;
    }
    return blocks;
}

}  // namespace miravel
