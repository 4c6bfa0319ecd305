#include "base/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/thread.h"

namespace {

using namespace std::chrono;

// Returns once `n` threads are blocked on `e`, so a test acts on waiters that are really waiting.
void awaitWaiters(const base::Event* e, std::size_t n) {
    while (base::waitingThreads(e) < n) std::this_thread::yield();
}

TEST(EventResetModes, AutoResetReleasesOneWaitAndClears) {
    base::Event* e = base::createEvent(false, true);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitObject0);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitTimeout);
    EXPECT_FALSE(base::isSignalled(e));
}

TEST(EventResetModes, ManualResetStaysSignalledUntilReset) {
    base::Event* e = base::createEvent(true, false);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitTimeout);
    base::setEvent(e);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitObject0);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitObject0);
    base::resetEvent(e);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitTimeout);
}

TEST(EventResetModes, SettingTwiceBeforeAWaitCountsOnce) {
    base::Event* e = base::createEvent(false, false);
    base::setEvent(e);
    base::setEvent(e);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitObject0);
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitTimeout);
}

TEST(EventNames, CreatingAnExistingNameOpensTheSameEvent) {
    base::Event* a = base::createEvent(true, false, "TEST SHARED EVENT");
    base::Event* b = base::createEvent(false, true, "TEST SHARED EVENT");
    EXPECT_EQ(a, b);
    // The second creation neither changes the reset mode nor signals it.
    EXPECT_TRUE(base::isManualReset(b));
    EXPECT_FALSE(base::isSignalled(b));
    EXPECT_EQ(base::openEvent("TEST SHARED EVENT"), a);
    EXPECT_EQ(base::openEvent("NO SUCH EVENT"), nullptr);
    EXPECT_NE(base::createEvent(false, false), base::createEvent(false, false));
}

TEST(EventNullHandles, FailHarmlessly) {
    EXPECT_FALSE(base::setEvent(nullptr));
    EXPECT_FALSE(base::resetEvent(nullptr));
    EXPECT_EQ(base::waitForSingleObject(nullptr, 0), base::kWaitFailed);
}

TEST(WaitMultiple, RejectsEmptyOversizedAndNullLists) {
    EXPECT_EQ(base::waitForMultipleObjects({}, 0), base::kWaitFailed);
    std::vector<base::Event*> nine(9);
    for (auto& e : nine) e = base::createEvent(false, true);
    EXPECT_EQ(base::waitForMultipleObjects(nine, 0), base::kWaitFailed);
    // Nothing was consumed by the refused wait.
    EXPECT_TRUE(base::isSignalled(nine[0]));
    base::Event* withNull[2] = {base::createEvent(false, true), nullptr};
    EXPECT_EQ(base::waitForMultipleObjects(withNull, 0), base::kWaitFailed);
}

TEST(WaitMultiple, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
    base::Event* ev[8];
    for (auto& e : ev) e = base::createEvent(false, false);
    base::setEvent(ev[5]);
    base::setEvent(ev[2]);
    EXPECT_EQ(base::waitForMultipleObjects(ev, 0), base::kWaitObject0 + 2);
    EXPECT_TRUE(base::isSignalled(ev[5]));
    EXPECT_EQ(base::waitForMultipleObjects(ev, 0), base::kWaitObject0 + 5);
    EXPECT_EQ(base::waitForMultipleObjects(ev, 0), base::kWaitTimeout);
}

TEST(WaitMultiple, WakesWhenAnotherThreadSetsOne) {
    base::Event* ev[3] = {base::createEvent(false, false), base::createEvent(false, false),
                          base::createEvent(false, false)};
    std::thread setter([&] {
        awaitWaiters(ev[1], 1);
        base::setEvent(ev[1]);
    });
    const auto start = steady_clock::now();
    EXPECT_EQ(base::waitForMultipleObjects(ev, 5000), base::kWaitObject0 + 1);
    EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
    setter.join();
}

TEST(WaitMultiple, TimesOutAfterAboutTheGivenTime) {
    base::Event* ev[2] = {base::createEvent(false, false), base::createEvent(true, false)};
    const auto start = steady_clock::now();
    EXPECT_EQ(base::waitForMultipleObjects(ev, 120), base::kWaitTimeout);
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(120));
    EXPECT_LT(took, milliseconds(1000));
}

TEST(WaitMultiple, OneAutoResetSetWakesExactlyOneOfManyWaiters) {
    base::Event* e = base::createEvent(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (base::waitForSingleObject(e, 400) == base::kWaitObject0) ++woken;
        });
    }
    awaitWaiters(e, 4);
    base::setEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 1);
    EXPECT_FALSE(base::isSignalled(e));
}

TEST(WaitMultiple, ManualResetSetWakesAllWaiters) {
    base::Event* e = base::createEvent(true, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (base::waitForSingleObject(e, 2000) == base::kWaitObject0) ++woken;
        });
    }
    awaitWaiters(e, 4);
    base::setEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 4);
}

// A set hands the signal to a thread already waiting; a reset right after cannot take it back.
TEST(SetThenReset, ReleasesAThreadAlreadyWaitingOnOneEvent) {
    for (const bool manual : {false, true}) {
        base::Event* e = base::createEvent(manual, false);
        std::atomic<uint32_t> result{base::kWaitFailed};
        std::thread waiter([&] { result = base::waitForSingleObject(e, 5000); });
        awaitWaiters(e, 1);
        base::setEvent(e);
        base::resetEvent(e);
        waiter.join();
        EXPECT_EQ(result.load(), base::kWaitObject0) << (manual ? "manual" : "auto");
        EXPECT_FALSE(base::isSignalled(e));
    }
}

TEST(SetThenReset, ReleasesAWaitOnManyWithTheIndexThatWasSet) {
    base::Event* ev[3] = {base::createEvent(false, false), base::createEvent(false, false),
                          base::createEvent(true, false)};
    for (const uint32_t which : {1u, 2u}) {
        std::atomic<uint32_t> result{base::kWaitFailed};
        std::thread waiter([&] { result = base::waitForMultipleObjects(ev, 5000); });
        awaitWaiters(ev[which], 1);
        base::setEvent(ev[which]);
        base::resetEvent(ev[which]);
        waiter.join();
        EXPECT_EQ(result.load(), base::kWaitObject0 + which);
    }
}

// The show-then-fade sequence: a waiter on one event must see it even when a second event it
// also waits on is set right after; the second stays signalled for its next wait.
TEST(SetThenReset, AWaiterReleasedByOneEventLeavesTheOtherSignalled) {
    base::Event* ev[2] = {base::createEvent(false, false), base::createEvent(false, false)};
    std::atomic<uint32_t> first{base::kWaitFailed};
    std::thread waiter([&] { first = base::waitForMultipleObjects(ev, 5000); });
    awaitWaiters(ev[1], 1);
    base::setEvent(ev[1]);
    base::setEvent(ev[0]);
    waiter.join();
    EXPECT_EQ(first.load(), base::kWaitObject0 + 1);
    EXPECT_TRUE(base::isSignalled(ev[0]));
    EXPECT_EQ(base::waitForMultipleObjects(ev, 0), base::kWaitObject0);
}

TEST(SetThenReset, EachAutoResetSetReleasesADifferentWaiterInTurn) {
    base::Event* e = base::createEvent(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (base::waitForSingleObject(e, 5000) == base::kWaitObject0) ++woken;
        });
    }
    awaitWaiters(e, 3);
    for (int i = 0; i < 3; ++i) {
        base::setEvent(e);
        base::resetEvent(e);
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_FALSE(base::isSignalled(e));
}

TEST(Threads, StartedThreadRunsDetached) {
    base::Event* done = base::createEvent(true, false);
    ASSERT_TRUE(base::startThread("test", [done] { base::setEvent(done); }));
    EXPECT_EQ(base::waitForSingleObject(done, 2000), base::kWaitObject0);
}

TEST(TickCount, AdvancesInMilliseconds) {
    const uint32_t before = base::getTickCount();
    base::sleepMs(30);
    const uint32_t elapsed = base::getTickCount() - before;  // wraps like the platform's
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 1000u);
}

}  // namespace
