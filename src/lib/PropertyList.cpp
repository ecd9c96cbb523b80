#include "lib/PropertyList.h"

#include <plist/plist.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>

#include "lib/Crypto.h"
#include "lib/DateText.h"

namespace miravel {

namespace {

constexpr int kMaxDepth = 256;
// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t kPropertyListEpoch = 978307200;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

Result<JsonValue> convert(plist_t node, int depth) {
    if (depth > kMaxDepth) {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::TooDeep,
                         "The property list is nested too deeply.");
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return JsonValue(value != 0);
        }
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            // Integers are stored as 64-bit two's complement; large ones read as negative.
            return JsonValue(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return JsonValue(value);
        }
        case PLIST_STRING: {
            // The pointer form carries the length: a string with a NUL byte inside is kept
            // whole (the copying form asserts on it and would end the program).
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return JsonValue(
                std::string(text != nullptr ? text : "", text != nullptr ? length : 0));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return JsonValue(base64Encode(
                std::string_view(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0)));
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            auto moment = momentOfTimeT(static_cast<std::time_t>(kPropertyListEpoch + seconds));
            return JsonValue(formatDateText(moment));
        }
        case PLIST_ARRAY: {
            JsonArray array;
            std::uint32_t size = plist_array_get_size(node);
            array.reserve(size);
            // An iterator, not the index: finding the n-th item walks the list from its start,
            // which made a file of 20,000 recipes quadratic.
            plist_array_iter iterator = nullptr;
            plist_array_new_iter(node, &iterator);
            std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
            for (std::uint32_t i = 0; i < size; ++i) {
                plist_t element = nullptr;
                plist_array_next_item(node, iterator, &element);
                if (element == nullptr) {
                    break;
                }
                auto item = convert(element, depth + 1);
                if (!item) {
                    return item;
                }
                array.push_back(std::move(*item));
            }
            return JsonValue(std::move(array));
        }
        case PLIST_DICT: {
            JsonObject object;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            while (iterator != nullptr) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, &key, &value);
                if (key == nullptr || value == nullptr) {
                    std::free(key);
                    break;
                }
                std::string name = key;
                std::free(key);
                auto member = convert(value, depth + 1);
                if (!member) {
                    std::free(iterator);
                    return member;
                }
                object.set(std::move(name), std::move(*member));
            }
            std::free(iterator);
            return JsonValue(std::move(object));
        }
        case PLIST_UID: {
            std::uint64_t value = 0;
            plist_get_uid_val(node, &value);
            return JsonValue(static_cast<std::int64_t>(value));
        }
        default:
            return JsonValue();
    }
}

// The older text syntax, read by recursive descent over the text.
class TextSyntaxReader {
public:
    explicit TextSyntaxReader(std::string_view text) : m_text(text) {}

    Result<JsonValue> document() {
        auto value = this->value(0);
        if (!value) {
            return value;
        }
        skipBlanks();
        if (m_at != m_text.size()) {
            return failure("text after the value");
        }
        return value;
    }

private:
    static bool isBareCharacter(char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
               ch == '_' || ch == '$' || ch == '/' || ch == ':' || ch == '.' || ch == '-' ||
               ch == '+';
    }

    std::unexpected<Error> failure(std::string_view what) const {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The text is not a property list.",
                         std::string(what) + " at offset " + std::to_string(m_at));
    }

    void skipBlanks() {
        while (m_at < m_text.size()) {
            const char ch = m_text[m_at];
            if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
                ++m_at;
            } else if (m_text.substr(m_at).starts_with("/*")) {
                const auto end = m_text.find("*/", m_at + 2);
                m_at = end == std::string_view::npos ? m_text.size() : end + 2;
            } else if (m_text.substr(m_at).starts_with("//")) {
                const auto end = m_text.find('\n', m_at);
                m_at = end == std::string_view::npos ? m_text.size() : end + 1;
            } else {
                return;
            }
        }
    }

    bool take(char ch) {
        skipBlanks();
        if (m_at < m_text.size() && m_text[m_at] == ch) {
            ++m_at;
            return true;
        }
        return false;
    }

    Result<JsonValue> value(int depth) {
        if (depth > kMaxDepth) {
            return makeError(kPropertyListErrorDomain, PropertyListErrorCode::TooDeep,
                             "The property list is nested too deeply.");
        }
        skipBlanks();
        if (m_at >= m_text.size()) {
            return failure("missing value");
        }
        const char ch = m_text[m_at];
        if (ch == '(') {
            ++m_at;
            JsonArray elements;
            if (take(')')) {
                return JsonValue(std::move(elements));
            }
            while (true) {
                auto element = value(depth + 1);
                if (!element) {
                    return element;
                }
                elements.push_back(std::move(*element));
                if (take(')')) {
                    return JsonValue(std::move(elements));
                }
                if (!take(',')) {
                    return failure("expected \",\" or \")\"");
                }
                // A comma before the closing parenthesis is allowed.
                if (take(')')) {
                    return JsonValue(std::move(elements));
                }
            }
        }
        if (ch == '{') {
            ++m_at;
            JsonObject members;
            while (!take('}')) {
                auto key = string();
                if (!key) {
                    return std::unexpected(key.error());
                }
                if (!take('=')) {
                    return failure("expected \"=\"");
                }
                auto member = value(depth + 1);
                if (!member) {
                    return member;
                }
                members.set(std::move(*key), std::move(*member));
                if (!take(';')) {
                    return failure("expected \";\"");
                }
            }
            return JsonValue(std::move(members));
        }
        auto text = string();
        if (!text) {
            return std::unexpected(text.error());
        }
        return JsonValue(std::move(*text));
    }

    Result<std::string> string() {
        skipBlanks();
        if (m_at >= m_text.size()) {
            return failure("missing string");
        }
        if (m_text[m_at] != '"') {
            const std::size_t start = m_at;
            while (m_at < m_text.size() && isBareCharacter(m_text[m_at])) {
                ++m_at;
            }
            if (m_at == start) {
                return failure("unexpected character");
            }
            return std::string(m_text.substr(start, m_at - start));
        }
        ++m_at;
        std::string result;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            char ch = m_text[m_at++];
            if (ch == '\\' && m_at < m_text.size()) {
                ch = m_text[m_at++];
                switch (ch) {
                    case 'n':
                        ch = '\n';
                        break;
                    case 't':
                        ch = '\t';
                        break;
                    case 'r':
                        ch = '\r';
                        break;
                    default:
                        break;
                }
            }
            result.push_back(ch);
        }
        if (m_at >= m_text.size()) {
            return failure("unterminated string");
        }
        ++m_at;
        return result;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

// libplist asserts, and so ends the process, when it hands out a dictionary key holding a NUL
// character, which a binary list can carry (its strings are counted, not terminated). Such a
// file is refused before libplist reads it; whatever else is malformed is left to libplist.
class BinaryListKeys {
public:
    explicit BinaryListKeys(std::string_view bytes) : m_bytes(bytes) {}

    bool holdNul() const {
        if (m_bytes.size() < kHeader + kTrailer || !m_bytes.starts_with("bplist00")) {
            return false;
        }
        const std::size_t trailer = m_bytes.size() - kTrailer;
        const std::size_t offsetWidth = byteAt(trailer + 6);
        const std::size_t refWidth = byteAt(trailer + 7);
        const std::uint64_t objects = bigEndian(trailer + 8, 8);
        const std::uint64_t table = bigEndian(trailer + 24, 8);
        if (offsetWidth == 0 || offsetWidth > 8 || refWidth == 0 || refWidth > 8 ||
            table >= trailer || objects > (trailer - table) / offsetWidth) {
            return false;
        }
        const auto offsetOf = [&](std::uint64_t object) -> std::uint64_t {
            const std::uint64_t at =
                object < objects ? bigEndian(table + object * offsetWidth, offsetWidth) : 0;
            return at >= kHeader && at < trailer ? at : 0;
        };
        for (std::uint64_t i = 0; i < objects; ++i) {
            const std::uint64_t at = offsetOf(i);
            if (at == 0 || (byteAt(at) >> 4) != 0xD) {
                continue;
            }
            auto [count, start] = countAndStart(at, trailer);
            if (count > (trailer - start) / refWidth) {
                continue;
            }
            for (std::uint64_t k = 0; k < count; ++k) {
                const std::uint64_t key = offsetOf(bigEndian(start + k * refWidth, refWidth));
                if (key != 0 && stringHoldsNul(key, trailer)) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    static constexpr std::size_t kHeader = 8, kTrailer = 32;

    std::uint8_t byteAt(std::size_t at) const { return static_cast<std::uint8_t>(m_bytes[at]); }

    std::uint64_t bigEndian(std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value = (value << 8) | byteAt(at + i);
        }
        return value;
    }

    // An object's element count (from its marker, or the integer after it) and where its
    // content starts; a count that cannot be read comes back as too large to fit.
    std::pair<std::uint64_t, std::uint64_t> countAndStart(std::uint64_t at, std::size_t end) const {
        const std::uint64_t count = byteAt(at) & 0x0F;
        if (count != 0x0F) {
            return {count, at + 1};
        }
        if (at + 1 >= end || (byteAt(at + 1) >> 4) != 0x1) {
            return {std::numeric_limits<std::uint64_t>::max(), at + 1};
        }
        const std::size_t width = std::size_t{1} << (byteAt(at + 1) & 0x03);
        if (at + 2 + width > end) {
            return {std::numeric_limits<std::uint64_t>::max(), at + 1};
        }
        return {bigEndian(at + 2, width), at + 2 + width};
    }

    bool stringHoldsNul(std::uint64_t at, std::size_t end) const {
        const std::uint8_t type = byteAt(at) >> 4;
        if (type != 0x5 && type != 0x6) {
            return false;
        }
        const std::uint64_t unit = type == 0x5 ? 1 : 2;
        auto [count, start] = countAndStart(at, end);
        if (count > (end - start) / unit) {
            return false;
        }
        for (std::uint64_t c = 0; c < count; ++c) {
            const std::size_t from = start + c * unit;
            if (byteAt(from) == 0 && (unit == 1 || byteAt(from + 1) == 0)) {
                return true;
            }
        }
        return false;
    }

    std::string_view m_bytes;
};

}  // namespace

Result<JsonValue> readPropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The file is not a property list.");
    }
    if (BinaryListKeys(bytes).holdNul()) {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The property list has a key with a NUL character in it.");
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The file is not a property list.");
    }
    std::unique_ptr<void, PlistDeleter> owner(root);
    return convert(root, 0);
}

}  // namespace miravel

namespace miravel {

Result<JsonValue> readTextPropertyList(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start != std::string_view::npos && text[start] == '<') {
        return readPropertyList(text);
    }
    return TextSyntaxReader(text).document();
}

}  // namespace miravel
