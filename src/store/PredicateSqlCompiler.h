#pragma once

#include <string_view>

#include "lib/Error.h"
#include "store/EntityDescription.h"
#include "store/PredicateNode.h"
#include "store/SqlWhere.h"
#include "store/TextSearchIndex.h"

namespace miravel {

// Turns a predicate into a condition on one row of an entity's table, in the store's layout
// (see EntityDescription.h): one column per attribute, to-one relationships as row columns,
// to-many ones through the inverse's column or a join table.
//
// The condition is always 0 or 1, never NULL, so that NOT, ALL and NONE mean in SQL what they
// mean in memory. Kinds are settled here, from the model: a comparison that can never hold in
// memory (a text attribute against a number, an object of another entity) compiles to a
// constant, so SQLite's type affinities never get to convert a value. Folded and pattern
// comparisons call the functions of PredicateSqlFunctions.h, which share their code with the
// in-memory evaluator, except that a folded search of a column in `indexes` asks its index.
class PredicateSqlCompiler {
public:
    // Lists longer than this travel as one JSON parameter read by json_each(), far below
    // SQLite's limit on parameters.
    static constexpr std::size_t kInlineListLimit = 64;

    [[nodiscard]] static Result<SqlWhere> compile(const PredicateNode& root,
                                                  const ManagedObjectModel& model,
                                                  const EntityDescription& entity,
                                                  std::string_view tableAlias,
                                                  const TextSearchIndexes* indexes = nullptr);
};

}  // namespace miravel
