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
            for (std::uint32_t i = 0; i < size; ++i) {
                auto item = convert(plist_array_get_item(node, i), depth + 1);
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
