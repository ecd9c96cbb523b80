#pragma once

#include <string_view>

#include "lib/Error.h"
#include "store/PredicateNode.h"

namespace miravel {

// Reads the predicate language (see Predicate.h). Keywords are case-insensitive; a key path
// component that is a keyword is written with a leading "#". Errors carry domain
// kPredicateErrorDomain and read "Invalid predicate at character 12: expected ')'", counting
// characters (not bytes) from 0.
class PredicateParser {
public:
    // Predicates nested deeper than this (counting NOT, AND and OR levels) are refused:
    // evaluating and compiling recurse, and SQLite limits the depth of an expression. The
    // canonical text of an accepted predicate nests at most twice as deep as its levels.
    static constexpr int kMaxDepth = 100;
    // Parentheses, NOT and list braces written inside one another, which reading recurses on.
    static constexpr int kMaxNesting = 2 * kMaxDepth + 50;

    [[nodiscard]] static Result<PredicateNode::Pointer> parse(std::string_view format,
                                                              const ValueList& arguments);
};

}  // namespace miravel
