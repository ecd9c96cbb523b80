#pragma once

#include <string>

#include "lib/JsonValue.h"

namespace miravel {

// Turns values into JSON text. Strings are expected to hold UTF-8 (the parser only produces
// that); their bytes are written as they are.
class JsonWriter {
public:
    // The compact form, byte for byte the same on every device, because content hashes are
    // taken over it and compared across devices. Nothing here may change without changing
    // every stored hash:
    // - no whitespace; object members in insertion order;
    // - integers in plain decimal; doubles in the shortest text that reads back to the same
    //   double, except that one with an integral value that fits 64 bits prints as an integer
    //   (so -0.0 prints as 0); infinities and NaN print as null;
    // - in strings only \ " / backspace, form feed, LF, CR and tab are escaped (\\ \" \/ \b \f
    //   \n \r \t); every other byte, control characters and non-ASCII included, is written
    //   raw, never as \u. Such raw control characters are not strict JSON: reading them back
    //   needs JsonParser::Options::allowRawControlCharacters.
    static std::string write(const JsonValue& value);

    // For files people read and edit, such as user settings: the same values and escaping,
    // with each member and element on its own line indented by two spaces, and ": " after
    // keys. No newline at the end.
    static std::string writePretty(const JsonValue& value);
};

}  // namespace miravel
