#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "lib/Error.h"
#include "store/PredicateExpression.h"

namespace miravel {

enum class PredicateOperator {
    Equal,
    NotEqual,
    Less,
    LessOrEqual,
    Greater,
    GreaterOrEqual,
    In,
    Contains,
    BeginsWith,
    EndsWith,
    Like,
    Matches,
};

enum class PredicateModifier { Direct, Any, All, None };

// One node of a parsed predicate. Nodes never change once built, so predicates share them.
struct PredicateNode {
    enum class Kind { True, False, And, Or, Not, Comparison };
    using Pointer = std::shared_ptr<const PredicateNode>;

    Kind kind = Kind::True;
    std::vector<Pointer> children;  // And, Or: two or more, none of the same kind; Not: one
    int depth = 1;                  // levels of nodes, this one included

    // Comparison
    PredicateModifier modifier = PredicateModifier::Direct;
    PredicateExpression lhs;
    PredicateOperator op = PredicateOperator::Equal;
    unsigned options = 0;  // PredicateOperators::kCaseInsensitive | kDiacriticInsensitive
    PredicateExpression rhs;
    // The constant sides as compared: texts already folded, so that neither evaluating nor
    // compiling folds them again for every object.
    Value lhsConstant;
    Value rhsConstant;
    // The texts of a constant list on the right, for IN over long lists of uids.
    std::shared_ptr<const std::unordered_set<std::string>> rhsTexts;

    static Pointer constant(bool value);
    // And/Or of the children, nested ones of the same kind spliced in; a single child is
    // returned as it is, none gives True for And and False for Or.
    static Pointer compound(Kind kind, std::vector<Pointer> children);
    static Pointer negation(Pointer child);
    static Pointer comparison(PredicateModifier modifier, PredicateExpression lhs,
                              PredicateOperator op, unsigned options, PredicateExpression rhs);

    // The folding applied to both sides: the options, but for MATCHES only [d] ([c] there is
    // a flag of the regular expression).
    unsigned foldingOptions() const;
    bool hasVariables() const;
    [[nodiscard]] static Result<Pointer> substituting(const Pointer& node,
                                                      const PredicateVariables& variables);

    std::string description() const;
    static const char* operatorName(PredicateOperator op);
};

}  // namespace miravel
