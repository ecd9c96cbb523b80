#pragma once

#include <cstddef>
#include <string_view>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

inline constexpr const char* kYAMLErrorDomain = "miravel.yaml";

// Reads every scalar as text: no numbers, booleans or nulls are produced. The only read
// option there is, and every caller passes it.
inline constexpr int kYAMLReadOptionStringScalars = 4096;

// Reads a YAML byte stream (UTF-8, or UTF-16 with a byte order mark) into plain values, on
// top of libyaml's event parser: mappings become JsonObjects (in the file's key order; a
// repeated key keeps its first position and takes the later value), sequences JsonArrays and
// every scalar a string, whatever its tag or style. Anchors and aliases resolve to the same
// value. Anchors are scoped to their document, as YAML defines them.
//
// The input may come from any file the user imports, so the reader bounds what a small input
// can make it build:
// - Collections may enclose one another at most kMaxDepth deep, counting those reached
//   through aliases. Reading itself never recurses, but comparing and destroying values do.
// - Aliases are not copied (containers are shared), but every consumer that walks the result
//   sees them expanded. The expanded size they add over the whole stream is bounded by
//   kMaxAliasExpansion, where a value's size is one per node (mapping, sequence, scalar,
//   key) plus the bytes of its texts. A "billion laughs" document is refused after a few
//   alias events, before anything is expanded.
// - A mapping key must be a scalar (or an alias of one): a collection cannot be a key of a
//   JsonObject. An alias to an anchor not yet complete (a value containing itself) or not
//   defined in the same document is an error too.
//
// Errors carry domain kYAMLErrorDomain and an ErrorCode; the recovery suggestion is given as
// failureReason.
class YAMLSerialization {
public:
    enum class ErrorCode {
        ParserInitialization = 1,    // "Error in yaml_parser_initialize(&parser)"
        Parse = 2,                   // "Parse error": malformed YAML, bad alias or key
        UnsupportedOption = 4,       // "Currently only kYAMLReadOptionStringScalars is supported"
        OutOfMemory = 5,             // "Couldn't allocate memory"
        TooDeep = 6,                 // collections nested deeper than kMaxDepth
        AliasExpansionTooLarge = 7,  // aliases expand beyond kMaxAliasExpansion
    };

    static constexpr std::size_t kMaxDepth = 512;
    static constexpr std::size_t kMaxAliasExpansion = std::size_t{1} << 22;

    // The root values of the stream's documents, in order; empty for an empty stream.
    // `options` must be kYAMLReadOptionStringScalars.
    [[nodiscard]] static Result<JsonArray> YAMLWithData(std::string_view data, int options);
};

}  // namespace miravel
