#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "server/Entities.h"

namespace miravel::server {

// The answers of the sync lists (/sync/recipes/ and the four entity lists), each kept with the
// account revision it was read at. Every sync asks for all five, and most syncs change
// nothing: the answer of an account whose revision is still the one stored is the answer
// the storage would give. Entries are per account and list; nothing built for one account is
// ever handed to another. Bounded by the bytes it holds, the least recently used going first.
class ListCache {
public:
    // The whole JSON envelope, and the same gzip-compressed when a client has asked for that
    // (empty until then).
    struct Answer {
        std::string plain;
        std::string gzipped;
    };

    explicit ListCache(std::size_t capacityBytes);

    // The answer stored for the list at exactly this revision, or nothing.
    std::shared_ptr<const Answer> find(std::int64_t account, EntityKind list,
                                       std::int64_t revision);
    // Keeps the answer unless one of a later revision is there already (a slower request that
    // read an older revision finishes last). One larger than the whole capacity is not kept.
    void store(std::int64_t account, EntityKind list, std::int64_t revision,
               std::shared_ptr<const Answer> answer);

    std::size_t bytes();
    std::size_t entries();

private:
    struct Key {
        std::int64_t account;
        EntityKind list;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::int64_t>()(key.account) * 8 + static_cast<std::size_t>(key.list);
        }
    };
    struct Entry {
        Key key;
        std::int64_t revision;
        std::shared_ptr<const Answer> answer;
    };
    static std::size_t sizeOf(const Answer& answer) {
        return answer.plain.size() + answer.gzipped.size() + 128;
    }
    void evictBeyond(std::size_t capacity);

    std::size_t m_capacity;
    std::mutex m_mutex;
    std::size_t m_bytes = 0;
    std::list<Entry> m_recent;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> m_entries;
};

}  // namespace miravel::server
