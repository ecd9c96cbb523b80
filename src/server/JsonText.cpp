#include "server/JsonText.h"

#include <fmt/format.h>

#include "lib/JsonWriter.h"

namespace miravel::server {

std::string strictJsonText(std::string_view compactText) {
    std::string text;
    text.reserve(compactText.size());
    for (char c : compactText) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            text += fmt::format("\\u{:04x}", byte);
        } else {
            text += c;
        }
    }
    return text;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += fmt::format("\\u{:04x}", static_cast<unsigned char>(c));
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

std::string strictJson(const JsonValue& value) {
    return strictJsonText(JsonWriter::write(value));
}

}  // namespace miravel::server
