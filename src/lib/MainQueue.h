#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace miravel {

// The main thread's queue of work. Screens, the main store context, timers and notifications
// run here; background jobs hand results back through it. The desktop drives it from its own
// event loop (through the wake handler and processPending); the command line and the tests
// drive it with run/runUntil.
class MainQueue {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    // The queue of the process. Its main thread is the one that first asks for it, unless
    // another adopts the role.
    static MainQueue& shared();

    MainQueue();

    void adoptCurrentThreadAsMain();
    bool isMainThread() const;

    // Runs `task` on the main thread at the next turn of the loop.
    void post(Task task);

    // Runs `task` on the main thread after `delay`; cancel() stops it if it has not run.
    TimerId postAfter(Clock::duration delay, Task task);
    void cancel(TimerId timer);

    // Runs `task` on the main thread and returns when it has run. Called on the main thread it
    // runs at once. The caller must not hold anything the main thread waits for.
    void runAndWait(const Task& task);

    // Runs the tasks posted so far and the timers that are due, without waiting.
    // Returns the number of tasks run.
    std::size_t processPending();

    // Runs tasks until stop() is called.
    void run();
    // Runs tasks until `done` answers true (checked after every task) or `timeout` passes.
    // Returns whether `done` became true.
    bool runUntil(const std::function<bool()>& done, Clock::duration timeout);
    // Ends the current (or, when none runs, the next) run or runUntil.
    void stop();

    // Called, from any thread, whenever work is posted: lets a foreign event loop wake up and
    // call processPending.
    void setWakeHandler(Task handler);

private:
    bool runOne(std::unique_lock<std::mutex>& lock, Clock::time_point now);
    void wake(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task> m_tasks;
    std::multimap<Clock::time_point, std::pair<TimerId, Task>> m_timers;
    TimerId m_nextTimer = 1;
    std::thread::id m_mainThread;
    bool m_stopRequested = false;
    Task m_wakeHandler;
};

}  // namespace miravel
