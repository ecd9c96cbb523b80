#pragma once

#include <functional>
#include <string_view>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

// Reads a property list (XML or binary) into a plain value tree: dictionaries become objects
// (in the file's key order), arrays arrays, strings strings, booleans, integers and reals
// numbers; dates become date text ("yyyy-MM-dd HH:mm:ss", local time) and data its Base64
// text. Both forms of the same list give the same value. Anything that is not a property list
// gives an error whose failure reason says what is wrong and where; more than 256 nested
// arrays and dictionaries are refused, and so is a binary list whose containers refer to
// each other so often that it would stand for more values than it has bytes.
[[nodiscard]] Result<JsonValue> readPropertyList(std::string_view bytes);

// Called with each element of a property list's top-level array; an error ends the reading.
using PropertyListElementHandler = std::function<Result<void>(JsonValue element)>;

// Reads a property list whose top level should be an array, handing each element to
// `element` as soon as it is read rather than keeping them all: a file of thousands of
// recipes never stands whole in memory. Gives whether the top level was an array (when it
// was not, nothing was handed over). An error of `element` ends the reading and is given
// back as it is; an error of the reader comes after the elements before it were handed over.
[[nodiscard]] Result<bool> readPropertyListArray(std::string_view bytes,
                                                 const PropertyListElementHandler& element);

// Reads a property list in text form: XML, or the older text syntax of parenthesised arrays,
// braced dictionaries ("key = value;") and quoted or bare strings, all of whose values are
// strings. Nesting deeper than 256 levels is refused here too.
[[nodiscard]] Result<JsonValue> readTextPropertyList(std::string_view text);

inline constexpr const char* kPropertyListErrorDomain = "miravel.plist";
enum class PropertyListErrorCode { NotAPropertyList = 1, TooDeep = 2 };

}  // namespace miravel
