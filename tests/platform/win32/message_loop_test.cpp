// The program's queue on Windows waits in its thread's own message loop: real windows of the
// thread are served while it waits, and posts from other threads still arrive in order.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/event.h"
#include "base/message_queue.h"
#include "tests/platform/win32/ping_window.h"

namespace {

constexpr uint32_t kWatchdog = 2;

TEST(MessageLoop, ARealWindowOfTheOwnerIsServedWhileItWaits) {
    base::MessageQueue q;
    void* window = testsupport::makePingWindow(&q);
    ASSERT_NE(window, nullptr);
    base::Event* done = base::createEvent(true, false);
    // Another thread posts to the window only; were the owner not in its message loop, nothing
    // would reach the queue but the watchdog's item.
    std::thread other([&] {
        testsupport::ping(window, 42);
        if (base::waitForSingleObject(done, 10000) != base::kWaitObject0) {
            q.post({nullptr, kWatchdog, 0, 0});
        }
    });
    base::MessageQueue::Item item;
    ASSERT_TRUE(q.get(item));
    base::setEvent(done);
    other.join();
    EXPECT_EQ(item.message.message, testsupport::kPinged);
    EXPECT_EQ(item.message.wParam, 42u);
    testsupport::destroyPingWindow(window);
}

TEST(MessageLoop, PostsFromManyThreadsArriveInEachPostersOrder) {
    base::MessageQueue q;
    // More than a thread's message queue holds, were each post a message of its own.
    constexpr int kThreads = 4, kEach = 4000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) q.post({nullptr, static_cast<uint32_t>(t), 0, i});
        });
    }
    std::vector<base::LPARAM> last(kThreads, -1);
    int outOfOrder = 0;
    base::MessageQueue::Item item;
    for (int n = 0; n < kThreads * kEach && q.get(item); ++n) {
        outOfOrder += item.message.lParam == last[item.message.message] + 1 ? 0 : 1;
        last[item.message.message] = item.message.lParam;
    }
    for (auto& t : posters) t.join();
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(last, std::vector<base::LPARAM>(kThreads, kEach - 1));
    EXPECT_EQ(q.pending(), 0u);
}

TEST(MessageLoop, QuitFromAnotherThreadEndsTheWaitAfterEarlierPosts) {
    base::MessageQueue q;
    std::thread other([&] {
        q.postTask([] {});
        q.quit();
    });
    base::MessageQueue::Item item;
    EXPECT_TRUE(q.get(item));
    EXPECT_TRUE(static_cast<bool>(item.task));
    EXPECT_FALSE(q.get(item));
    other.join();
}

TEST(MessageLoop, AThreadOtherThanTheOwnerTakesItemsToo) {
    base::MessageQueue q;
    base::Event* taking = base::createEvent(true, false);
    base::Event* took = base::createEvent(true, false);
    std::thread taker([&] {
        base::setEvent(taking);
        base::MessageQueue::Item item;
        if (q.get(item) && item.message.message == 5) base::setEvent(took);
    });
    base::waitForSingleObject(taking, base::kInfinite);
    q.post({nullptr, 5, 0, 0});
    const bool taken = base::waitForSingleObject(took, 10000) == base::kWaitObject0;
    if (!taken) q.quit();
    taker.join();
    EXPECT_TRUE(taken);
}

TEST(MessageLoop, AThreadQuitMessageDoesNotEndTheQueue) {
    base::MessageQueue q;
    testsupport::postThreadQuit();
    std::thread other([&] { q.post({nullptr, 9, 0, 0}); });
    base::MessageQueue::Item item;
    ASSERT_TRUE(q.get(item));
    EXPECT_EQ(item.message.message, 9u);
    other.join();
}

}  // namespace
