#include "lib/MainQueue.h"

#include <future>
#include <utility>

namespace miravel {

MainQueue& MainQueue::shared() {
    static auto* queue = new MainQueue;  // lives for the process
    return *queue;
}

MainQueue::MainQueue() : m_mainThread(std::this_thread::get_id()) {}

void MainQueue::adoptCurrentThreadAsMain() {
    std::lock_guard lock(m_mutex);
    m_mainThread = std::this_thread::get_id();
}

bool MainQueue::isMainThread() const {
    std::lock_guard lock(m_mutex);
    return m_mainThread == std::this_thread::get_id();
}

void MainQueue::wake(std::unique_lock<std::mutex>& lock) {
    Task handler = m_wakeHandler;
    // Notified under the lock: once the main thread can see the task, this thread no longer
    // touches the queue, so a queue ended right after running the task is not used after it.
    m_changed.notify_all();
    lock.unlock();
    if (handler) {
        handler();
    }
}

void MainQueue::post(Task task) {
    std::unique_lock lock(m_mutex);
    m_tasks.push_back(std::move(task));
    wake(lock);
}

MainQueue::TimerId MainQueue::postAfter(Clock::duration delay, Task task) {
    std::unique_lock lock(m_mutex);
    TimerId id = m_nextTimer++;
    m_timers.emplace(Clock::now() + delay, std::make_pair(id, std::move(task)));
    wake(lock);
    return id;
}

void MainQueue::cancel(TimerId timer) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.first == timer) {
            m_timers.erase(it);
            return;
        }
    }
}

void MainQueue::runAndWait(const Task& task) {
    if (isMainThread()) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    post([&] {
        task();
        done.set_value();
    });
    finished.wait();
}

// Takes one runnable task (a posted one first, then a due timer) and runs it with the lock
// released. Returns false when there is nothing to run now.
bool MainQueue::runOne(std::unique_lock<std::mutex>& lock, Clock::time_point now) {
    Task task;
    if (!m_tasks.empty()) {
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    } else if (!m_timers.empty() && m_timers.begin()->first <= now) {
        task = std::move(m_timers.begin()->second.second);
        m_timers.erase(m_timers.begin());
    } else {
        return false;
    }
    lock.unlock();
    task();
    lock.lock();
    return true;
}

std::size_t MainQueue::processPending() {
    std::unique_lock lock(m_mutex);
    // Only what is queued now: tasks that post tasks must not keep this call from returning.
    std::size_t budget = m_tasks.size();
    std::size_t ran = 0;
    Clock::time_point now = Clock::now();
    while (ran < budget && runOne(lock, now)) {
        ++ran;
    }
    while (!m_timers.empty() && m_timers.begin()->first <= now && runOne(lock, now)) {
        ++ran;
    }
    return ran;
}

void MainQueue::run() {
    runUntil([] { return false; }, Clock::duration::max());
}

bool MainQueue::runUntil(const std::function<bool()>& done, Clock::duration timeout) {
    Clock::time_point deadline =
        timeout == Clock::duration::max() ? Clock::time_point::max() : Clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    while (true) {
        lock.unlock();
        bool finished = done();
        lock.lock();
        if (finished) {
            return true;
        }
        if (m_stopRequested) {
            m_stopRequested = false;
            return false;
        }
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        if (runOne(lock, now)) {
            continue;
        }
        Clock::time_point wakeAt = deadline;
        if (!m_timers.empty() && m_timers.begin()->first < wakeAt) {
            wakeAt = m_timers.begin()->first;
        }
        auto runnable = [&] {
            return !m_tasks.empty() || m_stopRequested ||
                   (!m_timers.empty() && m_timers.begin()->first <= Clock::now());
        };
        if (wakeAt == Clock::time_point::max()) {
            m_changed.wait(lock, runnable);
        } else {
            m_changed.wait_until(lock, wakeAt, runnable);
        }
    }
}

void MainQueue::stop() {
    std::unique_lock lock(m_mutex);
    m_stopRequested = true;
    lock.unlock();
    m_changed.notify_all();
}

void MainQueue::setWakeHandler(Task handler) {
    std::lock_guard lock(m_mutex);
    m_wakeHandler = std::move(handler);
}

}  // namespace miravel
