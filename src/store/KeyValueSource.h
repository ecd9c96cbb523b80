#pragma once

#include <string_view>

#include "store/Value.h"

namespace miravel {

// An object as a predicate sees it in memory. Predicates evaluated here must select exactly
// what the same predicate selects in the store, so the answers follow the store's layout:
//
// - "name": the attribute's value (nil when missing), of the attribute's type: Text as text,
//   Integer as an integer, Boolean as a boolean, Double as a double, Date as a Timestamp.
// - "recipe" (to-one): the related ObjectID, or nil.
// - "recipe.name": the related object's attribute, or nil when there is no related object.
// - "categories" (to-many): a ValueList of the related ObjectIDs, in any order; an empty list
//   when there are none, also when a to-one relationship earlier in the path is nil.
// - "categories.name": one value per related object (nil included), in any order.
//
// Key paths arrive without "@" operators; the evaluator counts and quantifies itself.
class KeyValueSource {
public:
    virtual ~KeyValueSource() = default;
    virtual Value valueForKeyPath(std::string_view keyPath) const = 0;
};

}  // namespace miravel
