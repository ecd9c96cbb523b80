#pragma once

#include <string>
#include <string_view>

#include "lib/JsonValue.h"

namespace miravel::server {

// JsonWriter's compact text with every control character inside a string escaped as \u00XX.
// The compact form writes some of them raw (the byte-exact form of content hashes), which
// strict readers, the client's among them, refuse; the service only ever sends strict JSON.
std::string strictJson(const JsonValue& value);

// The same repair on text JsonWriter wrote: outside strings its compact form has no control
// characters at all, so every raw one belongs to a string.
std::string strictJsonText(std::string_view compactText);

// Appends one string as strict JSON text, as strictJson would write it: for lists built
// straight from stored columns, without a JsonValue per member.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace miravel::server
