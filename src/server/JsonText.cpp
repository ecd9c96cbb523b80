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

std::string strictJson(const JsonValue& value) {
    return strictJsonText(JsonWriter::write(value));
}

}  // namespace miravel::server
