#pragma once

#include <string_view>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

inline constexpr const char* kJsonErrorDomain = "miravel.json";

// Reads JSON text (RFC 8259) strictly: exactly one value with optional space, tab, LF or CR
// around it, and nothing the RFC leaves out (comments, trailing commas, single quotes, leading
// zeros, NaN or Infinity, unescaped control characters, invalid UTF-8). Text that other devices
// and programs send is untrusted, and accepting near-JSON here would let it fail later, in
// some other program that reads what we wrote.
//
// Choices where the RFC leaves room:
// - A UTF-8 byte order mark before the value is skipped, because some editors add one to
//   files they save. Byte offsets in errors still count it.
// - When an object repeats a key, the later value replaces the earlier one and keeps the
//   earlier one's position, as JsonObject::set does.
// - A number without fraction or exponent that fits 64 bits becomes an Integer; every other
//   number becomes a Double. A number too large for a double is an error; one too small to
//   tell apart from zero becomes zero.
//
// Errors carry domain kJsonErrorDomain, an ErrorCode, and a description naming where the fault
// lies, as an editor counts (line and column from 1, columns in characters) and as a byte
// offset: "Invalid JSON at line 2, column 5 (byte 17): unterminated string". The offset is that of
// the first byte that cannot be accepted (the input length when the text ends too early), or,
// for a bad escape or surrogate, that of the escape's backslash.
class JsonParser {
public:
    enum class ErrorCode {
        UnexpectedEnd = 1,         // the text stops inside a value, or holds no value at all
        UnexpectedCharacter,       // a byte that cannot start or continue what came before
        TrailingCharacters,        // more text after the one value
        InvalidNumber,             // leading zero, or a missing digit
        NumberOutOfRange,          // too large for a double
        InvalidEscape,             // unknown backslash escape or bad \u digits
        InvalidSurrogate,          // \u escape of a lone or mismatched UTF-16 surrogate
        ControlCharacterInString,  // a raw byte below 0x20 inside a string
        InvalidUtf8,               // a byte sequence that is not UTF-8
        TooDeep,                   // arrays and objects nested deeper than allowed
    };

    static constexpr int kDefaultMaxDepth = 512;

    struct Options {
        // How many arrays and objects may enclose one another. Parsing itself never recurses,
        // but writing, comparing and destroying a value do, so this also bounds the stack
        // those need: keep it in the thousands at most.
        int maxDepth = kDefaultMaxDepth;
        // JsonWriter writes control characters other than \b \f \n \r \t as raw bytes (the
        // byte-exact form that content hashes depend on), which strict JSON forbids. Reading
        // back text this program wrote itself needs this; text from elsewhere should not.
        bool allowRawControlCharacters = false;
    };

    [[nodiscard]] static Result<JsonValue> parse(std::string_view text,
                                                 int maxDepth = kDefaultMaxDepth);
    [[nodiscard]] static Result<JsonValue> parse(std::string_view text, const Options& options);
};

}  // namespace miravel
