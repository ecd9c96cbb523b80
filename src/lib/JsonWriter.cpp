#include "lib/JsonWriter.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "lib/Utf8.h"

namespace miravel {

namespace {

// The letter after the backslash for each byte that is escaped, 0 for bytes written raw.
constexpr std::array<char, 256> kEscapeLetter = [] {
    std::array<char, 256> table{};
    table['\\'] = '\\';
    table['"'] = '"';
    table['/'] = '/';
    table['\b'] = 'b';
    table['\f'] = 'f';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['\t'] = 't';
    return table;
}();

void appendString(std::string& out, const std::string& text) {
    out.push_back('"');
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            // Invalid UTF-8 stored by an older version or a faulty importer must not make the
            // whole document unreadable: such a byte is written as U+FFFD.
            std::size_t next = i;
            const char32_t codePoint = nextUtf8(text, next);
            if (!readValidUtf8(codePoint, i, next)) {
                out.append(text, runStart, i - runStart);
                out.append("\xEF\xBF\xBD");
                runStart = next;
            }
            i = next - 1;
            continue;
        }
        const char letter = kEscapeLetter[static_cast<unsigned char>(text[i])];
        if (letter != 0) {
            out.append(text, runStart, i - runStart);
            out.push_back('\\');
            out.push_back(letter);
            runStart = i + 1;
        }
    }
    out.append(text, runStart, std::string::npos);
    out.push_back('"');
}

void appendInteger(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    out.append(buffer, result.ptr);
}

void appendDouble(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // 2^63 is exact as a double; every integral double below it converts without loss.
    constexpr double kInt64Bound = 9223372036854775808.0;
    if (value >= -kInt64Bound && value < kInt64Bound && std::trunc(value) == value) {
        appendInteger(out, static_cast<std::int64_t>(value));
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    out.append(buffer, result.ptr);
}

void appendScalar(std::string& out, const JsonValue& value) {
    switch (value.type()) {
        case JsonValue::Type::Null:
            out += "null";
            break;
        case JsonValue::Type::Boolean:
            out += value.asBoolean() ? "true" : "false";
            break;
        case JsonValue::Type::Integer:
            appendInteger(out, value.asInteger());
            break;
        case JsonValue::Type::Double:
            appendDouble(out, value.asDouble());
            break;
        case JsonValue::Type::String:
            appendString(out, value.asString());
            break;
        case JsonValue::Type::Array:
        case JsonValue::Type::Object:
            break;
    }
}

void appendCompact(std::string& out, const JsonValue& value) {
    if (value.isArray()) {
        out.push_back('[');
        bool first = true;
        for (const JsonValue& element : value.asArray()) {
            if (!first) {
                out.push_back(',');
            }
            first = false;
            appendCompact(out, element);
        }
        out.push_back(']');
    } else if (value.isObject()) {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, member] : value.asObject()) {
            if (!first) {
                out.push_back(',');
            }
            first = false;
            appendString(out, key);
            out.push_back(':');
            appendCompact(out, member);
        }
        out.push_back('}');
    } else {
        appendScalar(out, value);
    }
}

void appendNewline(std::string& out, std::size_t depth) {
    out.push_back('\n');
    out.append(depth * 2, ' ');
}

void appendPretty(std::string& out, const JsonValue& value, std::size_t depth) {
    if (value.isArray() && !value.asArray().empty()) {
        out.push_back('[');
        bool first = true;
        for (const JsonValue& element : value.asArray()) {
            out += first ? "" : ",";
            first = false;
            appendNewline(out, depth + 1);
            appendPretty(out, element, depth + 1);
        }
        appendNewline(out, depth);
        out.push_back(']');
    } else if (value.isObject() && !value.asObject().empty()) {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, member] : value.asObject()) {
            out += first ? "" : ",";
            first = false;
            appendNewline(out, depth + 1);
            appendString(out, key);
            out += ": ";
            appendPretty(out, member, depth + 1);
        }
        appendNewline(out, depth);
        out.push_back('}');
    } else {
        appendCompact(out, value);
    }
}

}  // namespace

std::string JsonWriter::write(const JsonValue& value) {
    std::string out;
    appendCompact(out, value);
    return out;
}

std::string JsonWriter::writePretty(const JsonValue& value) {
    std::string out;
    appendPretty(out, value, 0);
    return out;
}

}  // namespace miravel
