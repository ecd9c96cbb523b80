#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"

using miravel::JsonParser;
using miravel::JsonValue;
using miravel::JsonWriter;

namespace {

// The writer turns an integral double that fits 64 bits into integer text, so a Double may
// come back as the equal Integer; every other difference is a fault.
bool sameNumber(const JsonValue& a, const JsonValue& b) {
    if (a.isInteger() && b.isInteger()) {
        return a.asInteger() == b.asInteger();
    }
    if (a.isInteger() != b.isInteger()) {
        const JsonValue& integer = a.isInteger() ? a : b;
        const JsonValue& number = a.isInteger() ? b : a;
        const double value = number.asDouble();
        return value >= -9223372036854775808.0 && value < 9223372036854775808.0 &&
               static_cast<std::int64_t>(value) == integer.asInteger() &&
               static_cast<double>(static_cast<std::int64_t>(value)) == value;
    }
    return a.asDouble() == b.asDouble();
}

bool sameValue(const JsonValue& a, const JsonValue& b) {
    if (a.isNumber() && b.isNumber()) {
        return sameNumber(a, b);
    }
    if (a.type() != b.type()) {
        return false;
    }
    if (a.isArray()) {
        const auto& left = a.asArray();
        const auto& right = b.asArray();
        if (left.size() != right.size()) {
            return false;
        }
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!sameValue(left[i], right[i])) {
                return false;
            }
        }
        return true;
    }
    if (a.isObject()) {
        const auto& left = a.asObject();
        const auto& right = b.asObject();
        if (left.size() != right.size()) {
            return false;
        }
        for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
            if (l->first != r->first || !sameValue(l->second, r->second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

[[noreturn]] void fault(const char* what, std::string_view text) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto parsed = JsonParser::parse(input);
    if (!parsed) {
        return 0;
    }
    // The writer emits raw control characters, which only the opt-in reads back.
    const JsonParser::Options ownOutput{.maxDepth = JsonParser::kDefaultMaxDepth,
                                        .allowRawControlCharacters = true};

    const std::string compact = JsonWriter::write(*parsed);
    const auto reparsed = JsonParser::parse(compact, ownOutput);
    if (!reparsed) {
        fault("written text does not parse", compact);
    }
    if (!sameValue(*parsed, *reparsed)) {
        fault("written text parses to a different value", compact);
    }
    // Writing is a fixed point: the bytes hashed on one device must be the bytes on the next.
    if (JsonWriter::write(*reparsed) != compact) {
        fault("rewriting changes the bytes", compact);
    }

    const std::string pretty = JsonWriter::writePretty(*parsed);
    const auto prettyParsed = JsonParser::parse(pretty, ownOutput);
    if (!prettyParsed || JsonWriter::write(*prettyParsed) != compact) {
        fault("pretty text does not read back to the same value", pretty);
    }
    return 0;
}
