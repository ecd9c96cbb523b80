#include "lib/JsonParser.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib/Utf8.h"

namespace miravel {

namespace {

using Code = JsonParser::ErrorCode;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Bytes a string can hold without a closer look: printable ASCII except '"' and '\\'.
constexpr std::array<bool, 256> kPlainStringByte = [] {
    std::array<bool, 256> table{};
    for (int byte = 0x20; byte < 0x80; ++byte) {
        table[byte] = byte != '"' && byte != '\\';
    }
    return table;
}();

// What each one-letter escape stands for; 0 for letters that are no such escape.
constexpr std::array<char, 256> kEscapedCharacter = [] {
    std::array<char, 256> table{};
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    table['b'] = '\b';
    table['f'] = '\f';
    table['n'] = '\n';
    table['r'] = '\r';
    table['t'] = '\t';
    return table;
}();

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Where a byte offset lies as an editor shows it, both counted from 1: lines end at LF (a CR
// before it is part of the line), columns count characters, not bytes.
std::pair<std::size_t, std::size_t> lineAndColumn(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    // An editor does not show the byte order mark, so it takes no column.
    const std::size_t start = text.starts_with("\xEF\xBB\xBF") && offset >= 3 ? 3 : 0;
    for (std::size_t i = start; i < offset; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

// How a byte reads in an error message: printable ASCII as itself, anything else in hex, so
// that an invisible or partial character still shows.
std::string describeByte(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
        return fmt::format("'{}'", c);
    }
    return fmt::format("byte 0x{:02X}", byte);
}

class Parser {
public:
    Parser(std::string_view text, const JsonParser::Options& options)
        : m_text(text),
          m_maxDepth(static_cast<std::size_t>(std::max(options.maxDepth, 0))),
          m_allowRawControlCharacters(options.allowRawControlCharacters) {}

    Result<JsonValue> run();

private:
    // A container still open. Members are collected first and made into a JsonObject when
    // the object closes, so that a repeated key costs no lookup while reading.
    struct Frame {
        bool isObject = false;
        JsonArray array;
        std::vector<JsonObject::Member> members;
        std::string key;  // of the member whose value is being read
    };

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; }
    void skipWhitespace() {
        while (!atEnd() && isWhitespace(peek())) {
            ++m_pos;
        }
    }

    bool fail(Code code, std::size_t offset, std::string_view what) {
        const auto [line, column] = lineAndColumn(m_text, offset);
        m_error = Error{kJsonErrorDomain,
                        static_cast<int>(code),
                        fmt::format("Invalid JSON at line {}, column {} (byte {}): {}", line,
                                    column, offset, what),
                        {}};
        return false;
    }
    bool failAtEnd(std::string_view what) { return fail(Code::UnexpectedEnd, m_text.size(), what); }
    // Every step that answers false records why first. Should one ever forget, the caller must
    // still get a failure, not a read of an empty optional.
    std::unexpected<Error> takeError() {
        if (!m_error) {
            fail(Code::UnexpectedCharacter, m_pos, "unreadable value");
        }
        return std::unexpected(std::move(m_error).value_or(Error{}));
    }

    bool beginValue(std::vector<Frame>& stack, JsonValue& value, bool& complete);
    bool parseKey(std::string& key);
    bool parseString(std::string& out);
    bool parseEscape(std::size_t& pos, std::string& out);
    bool parseUtf8(std::size_t& pos, std::string& out);
    bool parseNumber(JsonValue& out);
    bool parseLiteral(std::string_view word, JsonValue literal, JsonValue& out);

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_maxDepth;
    bool m_allowRawControlCharacters;
    std::optional<Error> m_error;
};

Result<JsonValue> Parser::run() {
    if (m_text.starts_with(kByteOrderMark)) {
        m_pos = kByteOrderMark.size();
    }
    // Containers live on this explicit stack instead of the call stack, so no nesting depth
    // can overflow it.
    std::vector<Frame> stack;
    JsonValue value;
    for (;;) {
        bool complete = false;
        if (!beginValue(stack, value, complete)) {
            return takeError();
        }
        if (!complete) {
            continue;  // a container opened; its first value comes next
        }
        // Hand the finished value to its container; closing that may finish the next one out.
        for (;;) {
            if (stack.empty()) {
                skipWhitespace();
                if (!atEnd()) {
                    fail(Code::TrailingCharacters, m_pos,
                         fmt::format("unexpected {} after the value", describeByte(peek())));
                    return takeError();
                }
                return value;
            }
            Frame& frame = stack.back();
            if (frame.isObject) {
                frame.members.emplace_back(std::move(frame.key), std::move(value));
            } else {
                frame.array.push_back(std::move(value));
            }
            skipWhitespace();
            const char close = frame.isObject ? '}' : ']';
            if (atEnd()) {
                failAtEnd(frame.isObject ? "unterminated object" : "unterminated array");
                return takeError();
            }
            if (peek() == close) {
                ++m_pos;
                value = frame.isObject ? JsonValue(JsonObject(std::move(frame.members)))
                                       : JsonValue(std::move(frame.array));
                stack.pop_back();
                continue;
            }
            if (peek() != ',') {
                fail(Code::UnexpectedCharacter, m_pos,
                     fmt::format("unexpected {}, expected ',' or '{}'", describeByte(peek()),
                                 close));
                return takeError();
            }
            ++m_pos;
            if (frame.isObject && !parseKey(frame.key)) {
                return takeError();
            }
            break;
        }
    }
}

// Reads a scalar into value (complete), or opens a container: an empty one is read whole
// (complete), otherwise it is pushed and the reader moves on to its first value.
bool Parser::beginValue(std::vector<Frame>& stack, JsonValue& value, bool& complete) {
    skipWhitespace();
    if (atEnd()) {
        return failAtEnd("expected a value");
    }
    complete = true;
    switch (peek()) {
        case '[':
        case '{': {
            const bool isObject = peek() == '{';
            if (stack.size() >= m_maxDepth) {
                return fail(
                    Code::TooDeep, m_pos,
                    fmt::format("arrays and objects nested deeper than {} levels", m_maxDepth));
            }
            ++m_pos;
            skipWhitespace();
            if (!atEnd() && peek() == (isObject ? '}' : ']')) {
                ++m_pos;
                value = isObject ? JsonValue(JsonObject()) : JsonValue(JsonArray());
                return true;
            }
            stack.push_back(Frame{.isObject = isObject, .array = {}, .members = {}, .key = {}});
            complete = false;
            return !isObject || parseKey(stack.back().key);
        }
        case '"': {
            std::string text;
            if (!parseString(text)) {
                return false;
            }
            value = std::move(text);
            return true;
        }
        case 't':
            return parseLiteral("true", true, value);
        case 'f':
            return parseLiteral("false", false, value);
        case 'n':
            return parseLiteral("null", nullptr, value);
        default:
            if (peek() == '-' || isDigit(peek())) {
                return parseNumber(value);
            }
            return fail(Code::UnexpectedCharacter, m_pos,
                        fmt::format("unexpected {}, expected a value", describeByte(peek())));
    }
}

// Reads `"key" :` with the whitespace around it, starting at the whitespace before the key.
bool Parser::parseKey(std::string& key) {
    skipWhitespace();
    if (atEnd()) {
        return failAtEnd("unterminated object");
    }
    if (peek() != '"') {
        return fail(Code::UnexpectedCharacter, m_pos,
                    fmt::format("unexpected {}, expected a string key", describeByte(peek())));
    }
    if (!parseString(key)) {
        return false;
    }
    skipWhitespace();
    if (atEnd()) {
        return failAtEnd("unterminated object");
    }
    if (peek() != ':') {
        return fail(Code::UnexpectedCharacter, m_pos,
                    fmt::format("unexpected {}, expected ':' after the key", describeByte(peek())));
    }
    ++m_pos;
    return true;
}

bool Parser::parseString(std::string& out) {
    out.clear();
    std::size_t pos = m_pos + 1;  // past the opening quote
    for (;;) {
        const std::size_t runStart = pos;
        while (pos < m_text.size() && kPlainStringByte[static_cast<unsigned char>(m_text[pos])]) {
            ++pos;
        }
        out.append(m_text, runStart, pos - runStart);
        if (pos >= m_text.size()) {
            return failAtEnd("unterminated string");
        }
        const auto byte = static_cast<unsigned char>(m_text[pos]);
        if (byte == '"') {
            m_pos = pos + 1;
            return true;
        }
        if (byte == '\\') {
            if (!parseEscape(pos, out)) {
                return false;
            }
        } else if (byte < 0x20) {
            if (!m_allowRawControlCharacters) {
                return fail(
                    Code::ControlCharacterInString, pos,
                    fmt::format("control character U+{:04X} in a string must be escaped", byte));
            }
            out.push_back(static_cast<char>(byte));
            ++pos;
        } else if (!parseUtf8(pos, out)) {
            return false;
        }
    }
}

// Reads the escape whose backslash is at pos, and moves pos past it.
bool Parser::parseEscape(std::size_t& pos, std::string& out) {
    const std::size_t start = pos;
    if (pos + 1 >= m_text.size()) {
        return failAtEnd("unterminated string");
    }
    const char letter = m_text[pos + 1];
    if (const char simple = kEscapedCharacter[static_cast<unsigned char>(letter)]; simple != 0) {
        out.push_back(simple);
        pos += 2;
        return true;
    }
    if (letter != 'u') {
        return fail(
            Code::InvalidEscape, start,
            fmt::format("unknown escape, a backslash followed by {}", describeByte(letter)));
    }

    // Reads the four hex digits of a \u escape whose backslash is at `at`. Running out of
    // text before a bad digit shows up counts as truncation, not as a bad escape.
    auto readUnit = [&](std::size_t at, char32_t& unit) {
        unit = 0;
        for (std::size_t i = at + 2; i < at + 6; ++i) {
            if (i >= m_text.size()) {
                return failAtEnd("unterminated string");
            }
            const int digit = hexDigitValue(m_text[i]);
            if (digit < 0) {
                return fail(Code::InvalidEscape, at, "\\u must be followed by four hex digits");
            }
            unit = unit * 16 + static_cast<char32_t>(digit);
        }
        return true;
    };

    char32_t unit = 0;
    if (!readUnit(start, unit)) {
        return false;
    }
    pos = start + 6;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return fail(Code::InvalidSurrogate, start,
                    fmt::format("low surrogate \\u{:04X} without a high surrogate before it",
                                static_cast<std::uint32_t>(unit)));
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        // Only a \u escape of a low surrogate may follow; the text ending first is truncation.
        const auto unpaired = [&] {
            return fail(Code::InvalidSurrogate, start,
                        fmt::format("high surrogate \\u{:04X} not followed by a low surrogate",
                                    static_cast<std::uint32_t>(unit)));
        };
        for (std::size_t i = 0; i < 2; ++i) {
            if (pos + i >= m_text.size()) {
                return failAtEnd("unterminated string");
            }
            if (m_text[pos + i] != "\\u"[i]) {
                return unpaired();
            }
        }
        char32_t low = 0;
        if (!readUnit(pos, low)) {
            return false;
        }
        if (low < 0xDC00 || low > 0xDFFF) {
            return unpaired();
        }
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        pos += 6;
    }
    appendUtf8(out, unit);
    return true;
}

// Checks and copies the multi-byte UTF-8 character starting at pos (RFC 3629, table 4), and
// moves pos past it. Overlong forms, encoded surrogates and code points above U+10FFFF fail.
bool Parser::parseUtf8(std::size_t& pos, std::string& out) {
    const auto lead = static_cast<unsigned char>(m_text[pos]);
    std::size_t length = 0;
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            secondMin = 0xA0;  // below is overlong
        } else if (lead == 0xED) {
            secondMax = 0x9F;  // above is a surrogate
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            secondMin = 0x90;  // below is overlong
        } else if (lead == 0xF4) {
            secondMax = 0x8F;  // above is beyond U+10FFFF
        }
    }
    const auto invalid = [&] {
        return fail(Code::InvalidUtf8, pos,
                    fmt::format("invalid UTF-8 sequence starting with byte 0x{:02X}", lead));
    };
    if (length == 0) {
        return invalid();
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= m_text.size()) {
            return failAtEnd("unterminated string");
        }
        const auto byte = static_cast<unsigned char>(m_text[pos + i]);
        if (byte < (i == 1 ? secondMin : 0x80) || byte > (i == 1 ? secondMax : 0xBF)) {
            return invalid();
        }
    }
    out.append(m_text, pos, length);
    pos += length;
    return true;
}

bool Parser::parseNumber(JsonValue& out) {
    const std::size_t start = m_pos;
    std::size_t pos = m_pos;
    const auto digitAt = [&](std::size_t at) { return at < m_text.size() && isDigit(m_text[at]); };
    // A required digit that is missing: truncation at the end of the text, else a bad number.
    const auto missingDigit = [&](std::string_view where) {
        if (pos >= m_text.size()) {
            return failAtEnd("unterminated number");
        }
        return fail(
            Code::InvalidNumber, pos,
            fmt::format("unexpected {}, expected a digit {}", describeByte(m_text[pos]), where));
    };

    if (m_text[pos] == '-') {
        ++pos;
    }
    const std::size_t integerStart = pos;
    if (!digitAt(pos)) {
        return missingDigit("after '-'");
    }
    if (m_text[pos] == '0') {
        ++pos;
        if (digitAt(pos)) {
            return fail(Code::InvalidNumber, pos, "leading zero in a number");
        }
    } else {
        while (digitAt(pos)) {
            ++pos;
        }
    }
    const std::size_t integerDigits = pos - integerStart;
    bool isInteger = true;
    if (pos < m_text.size() && m_text[pos] == '.') {
        isInteger = false;
        ++pos;
        if (!digitAt(pos)) {
            return missingDigit("after the decimal point");
        }
        while (digitAt(pos)) {
            ++pos;
        }
    }
    const std::string_view mantissa = m_text.substr(integerStart, pos - integerStart);
    // Saturated: only its sign and rough size matter, to tell overflow from underflow.
    std::int64_t exponent = 0;
    if (pos < m_text.size() && (m_text[pos] == 'e' || m_text[pos] == 'E')) {
        isInteger = false;
        ++pos;
        bool negative = false;
        if (pos < m_text.size() && (m_text[pos] == '+' || m_text[pos] == '-')) {
            negative = m_text[pos] == '-';
            ++pos;
        }
        if (!digitAt(pos)) {
            return missingDigit("in the exponent");
        }
        while (digitAt(pos)) {
            exponent = std::min<std::int64_t>(exponent * 10 + (m_text[pos] - '0'), 1'000'000'000);
            ++pos;
        }
        if (negative) {
            exponent = -exponent;
        }
    }

    const char* first = m_text.data() + start;
    const char* last = m_text.data() + pos;
    m_pos = pos;
    if (isInteger) {
        std::int64_t integer = 0;
        if (std::from_chars(first, last, integer).ec == std::errc()) {
            out = integer;
            return true;
        }
        // Too large for 64 bits: read as a double below.
    }
    double number = 0;
    const auto [end, ec] = std::from_chars(first, last, number);
    if (ec == std::errc() && end == last) {
        out = number;
        return true;
    }
    // from_chars reports both overflow and underflow as out of range. The decimal magnitude,
    // from the first non-zero digit and the exponent, tells them apart.
    const std::size_t firstNonZero = mantissa.find_first_of("123456789");
    std::int64_t magnitude = exponent + static_cast<std::int64_t>(integerDigits) - 1;
    if (firstNonZero != std::string_view::npos) {
        // Skip the decimal point when the digit lies after it.
        magnitude -= static_cast<std::int64_t>(firstNonZero > integerDigits ? firstNonZero - 1
                                                                            : firstNonZero);
    }
    if (magnitude > 0) {
        return fail(Code::NumberOutOfRange, start, "number too large for a double");
    }
    out = m_text[start] == '-' ? -0.0 : 0.0;
    return true;
}

bool Parser::parseLiteral(std::string_view word, JsonValue literal, JsonValue& out) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (m_pos + i >= m_text.size()) {
            return failAtEnd(fmt::format("unterminated literal, expected '{}'", word));
        }
        if (m_text[m_pos + i] != word[i]) {
            return fail(
                Code::UnexpectedCharacter, m_pos + i,
                fmt::format("unexpected {}, expected '{}'", describeByte(m_text[m_pos + i]), word));
        }
    }
    m_pos += word.size();
    out = std::move(literal);
    return true;
}

}  // namespace

Result<JsonValue> JsonParser::parse(std::string_view text, int maxDepth) {
    return parse(text, Options{.maxDepth = maxDepth, .allowRawControlCharacters = false});
}

Result<JsonValue> JsonParser::parse(std::string_view text, const Options& options) {
    return Parser(text, options).run();
}

}  // namespace miravel
