#include "lib/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace miravel {
namespace {

TEST(NotificationCenter, deliversByNameAndSenderInOrderOfObserving) {
    NotificationCenter center;
    int sender = 0;
    int otherSender = 0;
    std::vector<std::string> calls;
    auto anySender = center.addObserver("Changed", nullptr,
                                        [&](const Notification&) { calls.push_back("any"); });
    auto onlySender = center.addObserver("Changed", &sender,
                                         [&](const Notification&) { calls.push_back("sender"); });
    auto otherName = center.addObserver("Other", nullptr,
                                        [&](const Notification&) { calls.push_back("other"); });

    center.post("Changed", &sender);
    center.post("Changed", &otherSender);
    EXPECT_EQ(calls, (std::vector<std::string>{"any", "sender", "any"}));
}

TEST(NotificationCenter, carriesSenderAndPayload) {
    NotificationCenter center;
    int sender = 0;
    const void* seenObject = nullptr;
    int seenPayload = 0;
    auto observation = center.addObserver("Changed", nullptr, [&](const Notification& note) {
        seenObject = note.object;
        seenPayload = std::any_cast<int>(note.userInfo);
    });
    center.post("Changed", &sender, 42);
    EXPECT_EQ(seenObject, &sender);
    EXPECT_EQ(seenPayload, 42);
}

TEST(NotificationCenter, endedObservationsAreNeverCalledEvenMidDelivery) {
    NotificationCenter center;
    int first = 0;
    int second = 0;
    Observation later;
    auto earlier = center.addObserver("Changed", nullptr, [&](const Notification&) {
        ++first;
        later.reset();  // an observer closing another view while handling the same event
    });
    later = center.addObserver("Changed", nullptr, [&](const Notification&) { ++second; });
    center.post("Changed");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);

    {
        auto scoped =
            center.addObserver("Changed", nullptr, [&](const Notification&) { ++second; });
    }
    earlier.reset();
    center.post("Changed");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, observersAddedDuringDeliveryWaitForTheNextPost) {
    NotificationCenter center;
    int added = 0;
    std::vector<Observation> keep;
    auto adder = center.addObserver("Changed", nullptr, [&](const Notification&) {
        keep.push_back(
            center.addObserver("Changed", nullptr, [&](const Notification&) { ++added; }));
    });
    center.post("Changed");
    EXPECT_EQ(added, 0);
    center.post("Changed");
    EXPECT_EQ(added, 1);
}

TEST(NotificationCenter, movedObservationStillEndsOnce) {
    NotificationCenter center;
    int calls = 0;
    Observation moved;
    {
        auto original =
            center.addObserver("Changed", nullptr, [&](const Notification&) { ++calls; });
        moved = std::move(original);
    }
    center.post("Changed");
    EXPECT_EQ(calls, 1);
    moved = Observation();
    center.post("Changed");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace miravel
