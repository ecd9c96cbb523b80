#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "store/Predicate.h"
#include "store/Value.h"

namespace miravel {

// One side of a comparison in a parsed predicate.
struct PredicateExpression {
    enum class Kind {
        Constant,  // a literal or an argument
        KeyPath,   // "recipe.name", possibly counted: "categories.@count"
        Variable,  // "$NAME", until substituted
        List,      // a "{...}" literal that still holds variables (otherwise a Constant list)
    };

    Kind kind = Kind::Constant;
    Value value;                             // Constant
    std::string name;                        // KeyPath without "@count", or Variable name
    bool count = false;                      // KeyPath followed by ".@count"
    std::vector<PredicateExpression> items;  // List

    static PredicateExpression constant(Value value);
    static PredicateExpression keyPath(std::string path, bool count = false);
    static PredicateExpression variable(std::string name);
    // A list literal; a Constant list as soon as no item is a variable.
    static PredicateExpression list(std::vector<PredicateExpression> items);

    bool hasVariables() const;
    // Variables replaced by their values; a variable missing from `variables` is an error.
    [[nodiscard]] Result<PredicateExpression> substituting(
        const PredicateVariables& variables) const;

    // Text that parses back to the same expression (objects excepted: they have no literal).
    std::string description() const;
    static std::string describe(const Value& value);
    // A key path component that would read as a keyword is written with a leading "#".
    static bool isReservedWord(std::string_view word);
};

}  // namespace miravel
