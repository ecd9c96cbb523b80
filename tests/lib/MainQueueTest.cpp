#include "lib/MainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace miravel {
namespace {

using namespace std::chrono_literals;

TEST(MainQueue, runsPostedTasksInOrderAndOnlyThoseQueuedBeforeProcessing) {
    MainQueue queue;
    std::vector<int> order;
    queue.post([&] {
        order.push_back(1);
        queue.post([&] { order.push_back(3); });
    });
    queue.post([&] { order.push_back(2); });
    EXPECT_EQ(queue.processPending(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    queue.processPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MainQueue, runAndWaitRunsOnTheMainThreadAndReturnsAfterIt) {
    MainQueue queue;
    std::thread::id mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        EXPECT_FALSE(queue.isMainThread());
        queue.runAndWait([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    EXPECT_TRUE(queue.runUntil([&] { return ranOn != std::thread::id(); }, 10s));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, mainId);

    bool direct = false;
    queue.runAndWait([&] { direct = true; });  // on the main thread: runs at once
    EXPECT_TRUE(direct);
}

TEST(MainQueue, timersRunWhenDueAndCancelledOnesNever) {
    MainQueue queue;
    std::vector<int> order;
    queue.postAfter(30ms, [&] { order.push_back(2); });
    auto cancelled = queue.postAfter(10ms, [&] { order.push_back(99); });
    queue.postAfter(10ms, [&] { order.push_back(1); });
    queue.cancel(cancelled);
    EXPECT_EQ(queue.processPending(), 0u);  // nothing due yet
    EXPECT_TRUE(queue.runUntil([&] { return order.size() == 2; }, 5s));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainQueue, stopFromAnotherThreadEndsRunEvenIfItCameFirst) {
    MainQueue queue;
    std::thread stopper([&] { queue.stop(); });
    stopper.join();
    queue.run();  // returns: the stop was kept for this run

    std::thread later([&] {
        std::this_thread::sleep_for(20ms);
        queue.stop();
    });
    queue.run();
    later.join();
}

TEST(MainQueue, wakeHandlerHearsOfEveryPost) {
    MainQueue queue;
    std::atomic<int> wakes = 0;
    queue.setWakeHandler([&] { ++wakes; });
    std::thread worker([&] {
        queue.post([] {});
        queue.postAfter(1h, [] {});
    });
    worker.join();
    EXPECT_EQ(wakes, 2);
}

TEST(MainQueue, runUntilGivesUpAtTheTimeout) {
    MainQueue queue;
    auto start = MainQueue::Clock::now();
    EXPECT_FALSE(queue.runUntil([] { return false; }, 20ms));
    EXPECT_GE(MainQueue::Clock::now() - start, 20ms);
}

}  // namespace
}  // namespace miravel
