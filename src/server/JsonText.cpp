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
    std::size_t plain = 0;  // start of the run not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '\\' && byte != '"' && byte != '/') {
            continue;
        }
        out.append(text, plain, i - plain);
        plain = i + 1;
        switch (byte) {
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
                out += fmt::format("\\u{:04x}", byte);
        }
    }
    out.append(text, plain);
    out += '"';
}

std::string strictJson(const JsonValue& value) {
    return strictJsonText(JsonWriter::write(value));
}

}  // namespace miravel::server
