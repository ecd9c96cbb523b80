#pragma once

#include "store/KeyValueSource.h"
#include "store/PredicateNode.h"

namespace miravel {

// Tests one object in memory. Meant for objects that just changed, so it reads only the key
// paths the predicate names, and folds only the object's side of [c]/[d] comparisons.
class PredicateEvaluator {
public:
    // Without an object, every key path is nil (for predicates made of constants only).
    static bool evaluate(const PredicateNode& node, const KeyValueSource* object);

    // One comparison between two values already folded per node.foldingOptions().
    static bool test(const PredicateNode& node, const Value& lhs, const Value& rhs);
};

}  // namespace miravel
