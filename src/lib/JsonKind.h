#pragma once

#include <string_view>

#include "lib/JsonValue.h"

namespace miravel {

// What a member of a dictionary read from outside must hold, for the readers that check a
// JSON object member by member before they use it.
enum class JsonKind {
    Text,
    Integer,
    Boolean,
    Date,   // a text in the date form "yyyy-MM-dd HH:mm:ss"
    Texts,  // an array of texts
    Uids,   // an array of texts; hasJsonKind checks only that, its caller what a uid is
};

// Whether `value` is of that kind (null is none).
bool hasJsonKind(const JsonValue& value, JsonKind kind);

// The words that name the kind in a refusal: "text", "a whole number", "true or false"...
std::string_view jsonKindName(JsonKind kind);

}  // namespace miravel
