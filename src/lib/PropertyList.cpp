#include "lib/PropertyList.h"

#include <plist/plist.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

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

}  // namespace

Result<JsonValue> readPropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The file is not a property list.");
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
