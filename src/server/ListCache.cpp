#include "server/ListCache.h"

namespace miravel::server {

ListCache::ListCache(std::size_t capacityBytes) : m_capacity(capacityBytes) {}

std::shared_ptr<const ListCache::Answer> ListCache::find(std::int64_t account, EntityKind list,
                                                         std::int64_t revision) {
    std::lock_guard lock(m_mutex);
    const auto found = m_entries.find(Key{account, list});
    if (found == m_entries.end() || found->second->revision != revision) {
        return nullptr;
    }
    m_recent.splice(m_recent.begin(), m_recent, found->second);
    return found->second->answer;
}

void ListCache::store(std::int64_t account, EntityKind list, std::int64_t revision,
                      std::shared_ptr<const Answer> answer) {
    if (!answer || sizeOf(*answer) > m_capacity) {
        return;
    }
    std::lock_guard lock(m_mutex);
    const Key key{account, list};
    if (const auto found = m_entries.find(key); found != m_entries.end()) {
        if (found->second->revision > revision) {
            return;
        }
        m_bytes -= sizeOf(*found->second->answer);
        m_recent.erase(found->second);
        m_entries.erase(found);
    }
    evictBeyond(m_capacity - sizeOf(*answer));
    m_bytes += sizeOf(*answer);
    m_recent.push_front(Entry{key, revision, std::move(answer)});
    m_entries.emplace(key, m_recent.begin());
}

void ListCache::evictBeyond(std::size_t capacity) {
    while (m_bytes > capacity && !m_recent.empty()) {
        m_bytes -= sizeOf(*m_recent.back().answer);
        m_entries.erase(m_recent.back().key);
        m_recent.pop_back();
    }
}

std::size_t ListCache::bytes() {
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

std::size_t ListCache::entries() {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace miravel::server
