#include "store/ObjectSorting.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <string>

#include "lib/TextCollation.h"

namespace miravel {
namespace {

bool sortByCollationKeys(std::vector<std::shared_ptr<ManagedObject>>& objects,
                         const std::vector<SortDescriptor>& keys) {
    if (keys.empty() ||
        keys.front().comparison != SortDescriptor::Comparison::LocalizedCaseInsensitive ||
        keys.front().comparator) {
        return false;
    }
    // Keys live in one buffer and entries stay small, so the sort moves a few words per swap.
    struct Entry {
        std::size_t keyOffset;
        std::uint32_t keyLength;
        bool missing;  // no value: before every key
        std::uint32_t index;
        std::int64_t row;
    };
    // The names are read here (reading may load values through the context); only the keys
    // are made on two threads, for long lists.
    std::vector<Entry> entries;
    std::vector<std::string_view> texts;
    std::deque<Value> computed;  // values of key paths, kept in place for `texts`
    entries.reserve(objects.size());
    texts.reserve(objects.size());
    const EntityDescription* entity = objects.empty() ? nullptr : &objects.front()->entity();
    const int attribute = entity == nullptr ? -1 : entity->attributeIndex(keys.front().key);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const ManagedObject& object = *objects[i];
        const Value* value = nullptr;
        if (attribute >= 0 && &object.entity() == entity) {
            value = &object.valueAt(static_cast<std::size_t>(attribute));
        } else {
            value = &computed.emplace_back(object.valueForKeyPath(keys.front().key));
        }
        if (!value->isNull() && !value->isText()) {
            return false;  // mixed kinds: the general comparison knows their order
        }
        entries.push_back(
            Entry{0, 0, value->isNull(), static_cast<std::uint32_t>(i), object.objectID().row});
        texts.push_back(value->isNull() ? std::string_view() : std::string_view(value->asText()));
    }
    auto makeKeys = [&](std::size_t begin, std::size_t end, std::string& into) {
        for (std::size_t i = begin; i < end; ++i) {
            if (entries[i].missing) {
                continue;
            }
            // Each object is in one half only, so the two threads never share a cache.
            const ManagedObject& object = *objects[entries[i].index];
            entries[i].keyOffset = into.size();
            if (const std::string* cached = object.cachedCollationKey(texts[i])) {
                into += *cached;
            } else {
                appendLocalizedSortKey(texts[i], into);
                object.keepCollationKey(texts[i],
                                        std::string_view(into).substr(entries[i].keyOffset));
            }
            entries[i].keyLength = static_cast<std::uint32_t>(into.size() - entries[i].keyOffset);
        }
    };
    constexpr std::size_t kKeysPerThread = 8192;
    std::string keyBytes;
    if (entries.size() < 2 * kKeysPerThread) {
        makeKeys(0, entries.size(), keyBytes);
    } else {
        const std::size_t half = entries.size() / 2;
        std::string secondHalf;
        auto second =
            std::async(std::launch::async, [&] { makeKeys(half, entries.size(), secondHalf); });
        makeKeys(0, half, keyBytes);
        second.get();
        const std::size_t shift = keyBytes.size();
        keyBytes += secondHalf;
        for (std::size_t i = half; i < entries.size(); ++i) {
            entries[i].keyOffset += shift;
        }
    }
    const std::vector<SortDescriptor> rest(keys.begin() + 1, keys.end());
    const bool ascending = keys.front().ascending;
    const char* bytes = keyBytes.data();
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        int order = 0;
        if (a.missing || b.missing) {
            order = a.missing == b.missing ? 0 : (a.missing ? -1 : 1);
        } else {
            const int compared = std::memcmp(bytes + a.keyOffset, bytes + b.keyOffset,
                                             std::min(a.keyLength, b.keyLength));
            order = compared != 0 ? compared
                                  : (a.keyLength < b.keyLength   ? -1
                                     : a.keyLength > b.keyLength ? 1
                                                                 : 0);
            order = order < 0 ? -1 : (order > 0 ? 1 : 0);
        }
        order = ascending ? order : -order;
        if (order == 0 && !rest.empty()) {
            order = compareBySortDescriptors(rest, *objects[a.index], *objects[b.index]);
        }
        return order != 0 ? order < 0 : a.row < b.row;
    });
    std::vector<std::shared_ptr<ManagedObject>> sorted;
    sorted.reserve(objects.size());
    for (const Entry& entry : entries) {
        sorted.push_back(std::move(objects[entry.index]));
    }
    objects = std::move(sorted);
    return true;
}

}  // namespace

void sortObjects(std::vector<std::shared_ptr<ManagedObject>>& objects,
                 const std::vector<SortDescriptor>& keys) {
    if (sortByCollationKeys(objects, keys)) {
        return;
    }
    std::stable_sort(objects.begin(), objects.end(), [&](const auto& a, const auto& b) {
        int order = compareBySortDescriptors(keys, *a, *b);
        return order != 0 ? order < 0 : a->objectID().row < b->objectID().row;
    });
}

}  // namespace miravel
