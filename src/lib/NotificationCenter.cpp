#include "lib/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace miravel {

Observation::Observation(Observation&& other) noexcept
    : m_center(std::exchange(other.m_center, nullptr)), m_id(other.m_id) {}

Observation& Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        m_center = std::exchange(other.m_center, nullptr);
        m_id = other.m_id;
    }
    return *this;
}

void Observation::reset() {
    if (m_center != nullptr) {
        std::exchange(m_center, nullptr)->remove(m_id);
    }
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter;  // lives for the process
    return *center;
}

Observation NotificationCenter::addObserver(std::string_view name, const void* object,
                                            Handler handler) {
    std::lock_guard lock(m_mutex);
    std::uint64_t id = m_nextId++;
    m_entries.push_back(
        std::make_shared<Entry>(Entry{id, std::string(name), object, std::move(handler)}));
    return Observation(this, id);
}

void NotificationCenter::remove(std::uint64_t id) {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [id](const auto& entry) { return entry->id == id; });
    if (it != m_entries.end()) {
        // A delivery in progress holds its own reference and checks the flag before calling.
        (*it)->removed = true;
        m_entries.erase(it);
    }
}

void NotificationCenter::post(std::string_view name, const void* object, std::any userInfo) {
    std::vector<std::shared_ptr<Entry>> receivers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries) {
            if (entry->name == name && (entry->object == nullptr || entry->object == object)) {
                receivers.push_back(entry);
            }
        }
    }
    Notification notification{std::string(name), object, std::move(userInfo)};
    for (const auto& entry : receivers) {
        bool removed = false;
        {
            std::lock_guard lock(m_mutex);
            removed = entry->removed;
        }
        if (!removed) {
            entry->handler(notification);
        }
    }
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace miravel
