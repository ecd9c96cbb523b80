#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {

// Names of the notifications that cross subsystems; they are part of the interface.
inline constexpr std::string_view kSyncStartedNotification = "kSyncStartedNotification";
inline constexpr std::string_view kSyncFinishedNotification = "kSyncFinishedNotification";
inline constexpr std::string_view kRecipeWillBeDeletedNotification =
    "RecipeWillBeDeletedNotification";
inline constexpr std::string_view kWeekStartDayChangedNotification =
    "WeekStartDayChangedNotification";
inline constexpr std::string_view kSettingsFontSizeChangedNotification = "SettingsFontSizeChanged";
// Posted by a store context after it processed changes, and after it saved.
inline constexpr std::string_view kObjectsDidChangeNotification = "ObjectsDidChangeNotification";
inline constexpr std::string_view kContextDidSaveNotification = "ContextDidSaveNotification";

struct Notification {
    std::string name;
    // The sender, compared by address only; observers may filter on it.
    const void* object = nullptr;
    std::any userInfo;
};

class NotificationCenter;

// Keeps an observer registered for as long as it lives; destroying or resetting it removes
// the observer, so an observing object cannot be called after it is gone.
class Observation {
public:
    Observation() = default;
    Observation(Observation&& other) noexcept;
    Observation& operator=(Observation&& other) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation() { reset(); }

    void reset();
    bool active() const { return m_center != nullptr; }

private:
    friend class NotificationCenter;
    Observation(NotificationCenter* center, std::uint64_t id) : m_center(center), m_id(id) {}

    NotificationCenter* m_center = nullptr;
    std::uint64_t m_id = 0;
};

// Delivers notifications synchronously, on the posting thread, to every observer of the name
// (and of the sender, when the observer named one), in the order they were added. Observers
// may add or remove observers, or post, from inside a delivery.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // `object` nullptr observes the name from every sender.
    [[nodiscard]] Observation addObserver(std::string_view name, const void* object,
                                          Handler handler);
    void post(std::string_view name, const void* object = nullptr, std::any userInfo = {});

    std::size_t observerCount() const;

private:
    friend class Observation;
    struct Entry {
        std::uint64_t id;
        std::string name;
        const void* object;
        Handler handler;
        bool removed = false;
    };
    void remove(std::uint64_t id);

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
    std::uint64_t m_nextId = 1;
};

}  // namespace miravel
