#include "import/PropertyListImporter.h"

#include <fmt/format.h>
#include <cmath>

#include "import/YamlImporter.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Log.h"
#include "lib/PropertyList.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

bool isHexadecimalText(std::string_view text) {
    return !text.empty() &&
           text.find_first_not_of("0123456789abcdefABCDEF \t\r\n") == std::string_view::npos;
}

const JsonArray kNoElements;

}  // namespace

std::optional<std::string> plistText(const JsonValue* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->isString()) {
        return value->asString();
    }
    if (value->isInteger()) {
        return std::to_string(value->asInteger());
    }
    if (value->isNumber()) {
        return fmt::format("{}", value->asDouble());
    }
    return std::nullopt;
}

std::optional<std::string> plistNonEmptyText(const JsonValue* value) {
    auto text = plistText(value);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return text;
}

std::int64_t plistInteger(const JsonValue* value) {
    if (value == nullptr) {
        return 0;
    }
    if (value->isInteger()) {
        return value->asInteger();
    }
    if (value->isNumber()) {
        const double number = value->asDouble();
        // A real beyond the integers (or not a number at all) counts as none.
        return std::isfinite(number) && std::fabs(number) < 9e18 ? static_cast<std::int64_t>(number)
                                                                 : 0;
    }
    if (value->isString()) {
        return leadingInteger(value->asString());
    }
    if (value->isBoolean()) {
        return value->asBoolean() ? 1 : 0;
    }
    return 0;
}

const JsonValue* plistMember(const JsonValue* dictionary, std::string_view key) {
    if (dictionary == nullptr || !dictionary->isObject()) {
        return nullptr;
    }
    return dictionary->asObject().find(key);
}

const JsonArray& plistArray(const JsonValue* value) {
    return value != nullptr && value->isArray() ? value->asArray() : kNoElements;
}

std::string decodeHexadecimal(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char ch : text) {
        if (ch != ' ') {
            digits.push_back(ch);
        }
    }
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t at = 0; at + 1 < digits.size(); at += 2) {
        const int high = hexDigit(digits[at]);
        const int low = hexDigit(digits[at + 1]);
        int value = 0;
        if (high >= 0) {
            value = low >= 0 ? high * 16 + low : high;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

Result<JsonArray> PropertyListImporter::readRecipeArray(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    auto root = readPropertyList(*bytes);
    if (!root) {
        logLine("Error: {}", root.error().description);
        return std::unexpected(importError("Unable to parse this file.", root.error().description));
    }
    if (!root->isArray()) {
        return std::unexpected(importError("There was a problem importing this file.",
                                           "the property list holds no array of recipes"));
    }
    return std::move(root->asArray());
}

void PropertyListImporter::setPhotoFrom(Recipe& recipe, const JsonValue* picture) {
    if (picture == nullptr || !picture->isString()) {
        return;
    }
    // The reader gives data as Base64; a writer that stored the picture as text wrote
    // hexadecimal digits. Base64 of any picture format holds letters past "f" in its first
    // characters already ("/9j/", "iVBOR", "R0lG"), so the two are not confused.
    const std::string& text = picture->asString();
    std::optional<std::string> bytes =
        isHexadecimalText(text) ? std::optional(decodeHexadecimal(text)) : base64Decode(text);
    if (!bytes || bytes->empty()) {
        return;
    }
    if (auto name = savePhoto(*bytes)) {
        recipe.setPhoto(*name);
    }
}

}  // namespace miravel
