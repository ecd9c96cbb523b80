#include "lib/JsonKind.h"

#include <algorithm>

#include "lib/DateText.h"

namespace miravel {

bool hasJsonKind(const JsonValue& value, JsonKind kind) {
    switch (kind) {
        case JsonKind::Text:
            return value.isString();
        case JsonKind::Integer:
            return value.isInteger();
        case JsonKind::Boolean:
            return value.isBoolean();
        case JsonKind::Date:
            return value.isString() && parseDateText(value.asString()).has_value();
        case JsonKind::Texts:
        case JsonKind::Uids:
            return value.isArray() && std::ranges::all_of(value.asArray(), [](const auto& item) {
                       return item.isString();
                   });
    }
    return false;
}

std::string_view jsonKindName(JsonKind kind) {
    switch (kind) {
        case JsonKind::Text:
            return "text";
        case JsonKind::Integer:
            return "a whole number";
        case JsonKind::Boolean:
            return "true or false";
        case JsonKind::Date:
            return "a date as yyyy-MM-dd HH:mm:ss";
        case JsonKind::Texts:
            return "an array of texts";
        case JsonKind::Uids:
            return "an array of uids";
    }
    return "";
}

}  // namespace miravel
