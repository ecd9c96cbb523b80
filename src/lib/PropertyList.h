#pragma once

#include <string_view>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

// Reads a property list (XML or binary) into a plain value tree: dictionaries become objects
// (in the file's key order), arrays arrays, strings strings, booleans, integers and reals
// numbers; dates become date text ("yyyy-MM-dd HH:mm:ss", local time) and data its Base64
// text. Anything that is not a property list gives an error; nesting deeper than 256 levels
// is refused.
[[nodiscard]] Result<JsonValue> readPropertyList(std::string_view bytes);

// Reads a property list in text form: XML, or the older text syntax of parenthesised arrays,
// braced dictionaries ("key = value;") and quoted or bare strings, all of whose values are
// strings. Nesting deeper than 256 levels is refused here too.
[[nodiscard]] Result<JsonValue> readTextPropertyList(std::string_view text);

inline constexpr const char* kPropertyListErrorDomain = "miravel.plist";
enum class PropertyListErrorCode { NotAPropertyList = 1, TooDeep = 2 };

}  // namespace miravel
