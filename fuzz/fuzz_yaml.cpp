#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "lib/YAMLSerialization.h"

using miravel::JsonArray;
using miravel::JsonValue;
using miravel::kYAMLReadOptionStringScalars;
using miravel::YAMLSerialization;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

struct Shape {
    std::size_t depth = 0;
    std::size_t nodes = 0;
};

// Walks the result the way a consumer would, aliases expanded, so a bound that does not hold
// shows as a fault (or a time-out) here rather than in an importer.
void measure(const JsonValue& value, std::size_t depth, Shape& shape) {
    ++shape.nodes;
    if (shape.nodes > 2 * YAMLSerialization::kMaxAliasExpansion + (1u << 22)) {
        fault("the value tree is larger than the bounds allow");
    }
    if (value.isArray() || value.isObject()) {
        if (depth + 1 > YAMLSerialization::kMaxDepth) {
            fault("collections nest deeper than the bound");
        }
        shape.depth = std::max(shape.depth, depth + 1);
    }
    if (value.isArray()) {
        for (const JsonValue& item : value.asArray()) {
            measure(item, depth + 1, shape);
        }
    } else if (value.isObject()) {
        for (const auto& [key, member] : value.asObject()) {
            measure(member, depth + 1, shape);
        }
    } else if (!value.isString()) {
        fault("a scalar that is not text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto documents = YAMLSerialization::YAMLWithData(input, kYAMLReadOptionStringScalars);
    if (!documents) {
        const int code = documents.error().code;
        if (code != 2 && code != 5 && code != 6 && code != 7) {
            fault("an error code the input cannot cause");
        }
        return 0;
    }
    Shape shape;
    for (const JsonValue& root : *documents) {
        measure(root, 0, shape);
    }
    // Reading is deterministic: the same bytes give the same values.
    const auto again = YAMLSerialization::YAMLWithData(input, kYAMLReadOptionStringScalars);
    if (!again || *again != *documents) {
        fault("reading the same bytes twice gives different values");
    }
    return 0;
}
