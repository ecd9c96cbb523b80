#pragma once

#include <cstddef>
#include <vector>

namespace miravel {

// The position where `item` goes in `items` (sorted by `compare`, which answers negative,
// zero or positive): the lowest position whose element is not less than the item, found by
// halving. A new item therefore goes before the items equal to it.
template <typename T, typename Compare>
std::size_t sortedInsertionIndex(const std::vector<T>& items, const T& item, Compare compare) {
    std::size_t low = 0;
    std::size_t high = items.size();
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        if (compare(item, items[middle]) <= 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

// Inserts `item` at its sorted position and returns that position.
template <typename T, typename Compare>
std::size_t insertSorted(std::vector<T>& items, T item, Compare compare) {
    std::size_t index = sortedInsertionIndex(items, item, compare);
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    return index;
}

}  // namespace miravel
