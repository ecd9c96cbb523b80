#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "store/EntityDescription.h"

struct sqlite3;

namespace miravel {

class Database;

// Text columns marked `searchIndexed` in the model get a trigram index (an SQLite FTS5 table)
// of their folded text, so that a
// "contains[cd]" search reads a few index pages instead of folding every row. The index holds
// the same folding the predicate applies, so its answer is exactly the scan's. Triggers on the
// entity's table note every row whose text changed, whoever writes it; each save brings the
// index up to date in its own transaction (catchUp), and opening the store does it for rows
// another writer left behind.
//
// The attributes whose index is present and current in an open store:
using TextSearchIndexes = std::vector<const AttributeDescription*>;

namespace TextSearchIndex {

// Bumped whenever text folding changes what it makes of some text: an index folded otherwise
// is rebuilt when the store opens.
inline constexpr int kFoldingVersion = 1;

std::string tableName(const EntityDescription& entity, const AttributeDescription& attribute);

// The full-text query finding `folded` anywhere in an indexed text, or nothing when the
// index cannot answer: trigrams need a needle of three characters at least.
std::optional<std::string> substringQuery(std::string_view folded);

// Makes sure every index the model asks for exists, is folded the current way and has its
// triggers, building the ones that are missing (a store made before, or folded otherwise).
// A read-only store is only checked. Returns the indexes searches may use; an index that
// could not be built is left out and logged, and its searches scan instead.
TextSearchIndexes prepare(Database& db, const ManagedObjectModel& model, bool readOnly);

// Indexes the rows noted since the last catch-up; run inside the transaction that wrote them.
[[nodiscard]] Result<void> catchUp(Database& db, const ManagedObjectModel& model,
                                   const TextSearchIndexes& indexes);

// The same over a connection held as a raw handle (the predicate fuzzer opens its own).
TextSearchIndexes prepare(sqlite3* db, const ManagedObjectModel& model, bool readOnly);
[[nodiscard]] Result<void> catchUp(sqlite3* db, const ManagedObjectModel& model,
                                   const TextSearchIndexes& indexes);

}  // namespace TextSearchIndex
}  // namespace miravel
