#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/Predicate.h"
#include "store/Value.h"

namespace miravel {

class ManagedObject;

// One sort key. Texts compare byte by byte unless the key asks for the user's language order
// (case-insensitive); a comparator replaces both (for keys such as cooking times).
struct SortDescriptor {
    enum class Comparison { Default, LocalizedCaseInsensitive };

    using Comparator = std::function<int(const Value&, const Value&)>;

    SortDescriptor(std::string sortKey, bool isAscending = true,
                   Comparison how = Comparison::Default, Comparator custom = {})
        : key(std::move(sortKey)),
          ascending(isAscending),
          comparison(how),
          comparator(std::move(custom)) {}

    std::string key;
    bool ascending = true;
    Comparison comparison = Comparison::Default;
    Comparator comparator;

    static SortDescriptor localized(std::string key, bool ascending = true) {
        return SortDescriptor(std::move(key), ascending, Comparison::LocalizedCaseInsensitive);
    }

    // Negative, zero or positive; a missing value sorts before any value.
    int compare(const ManagedObject& a, const ManagedObject& b) const;
};

// Compares by the keys in order: the first key that tells the objects apart decides.
int compareBySortDescriptors(const std::vector<SortDescriptor>& keys, const ManagedObject& a,
                             const ManagedObject& b);
int compareValues(const Value& a, const Value& b, SortDescriptor::Comparison comparison);

struct FetchRequest {
    std::string entityName;
    std::optional<Predicate> predicate;
    std::vector<SortDescriptor> sortDescriptors;
    std::size_t fetchLimit = 0;  // 0: no limit
    // Unsaved inserts, edits and deletions of the context count as if saved.
    bool includesPendingChanges = true;
    // The attributes to read with each row; none names all. Objects fetched with a subset
    // read the rest from the store the first time one of them is used, so a list that shows
    // a few short properties does not load every long text.
    // "= {}" keeps GCC's -Wmissing-field-initializers quiet for initialisers that leave it out.
    // NOLINTNEXTLINE(readability-redundant-member-init)
    std::vector<std::string> propertiesToFetch = {};
};

}  // namespace miravel
