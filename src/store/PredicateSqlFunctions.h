#pragma once

struct sqlite3;

namespace miravel {

// Registers the SQL functions that compiled predicates call; the store calls this on every
// connection it opens, before preparing any statement with a predicate in it:
//
//   miravel_fold(text, options)                   text folded per [c]=1, [d]=2
//   miravel_contains(text, needle, options)       0 or 1; the text (only) folded first
//   miravel_beginswith / miravel_endswith / miravel_like (same arguments)
//   miravel_matches(text, pattern, options, caseInsensitive)
//
// They run the very code the in-memory evaluator runs. The matching ones give 0, never NULL,
// when an argument is NULL or not text. If registering fails (out of memory), preparing a
// statement that uses them fails with "no such function".
void registerPredicateSqlFunctions(sqlite3* database);

}  // namespace miravel
