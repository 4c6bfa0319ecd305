#include "base/message_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/window.h"
#include "tests/support/process.h"

namespace {

class RecordingDialog : public base::Dialog {
public:
    std::vector<base::Message> seen;
    int paints = 0;
    int cancels = 0;
    int hotKeys = 0;
    uint32_t lastHotKeyId = 0;

    base::LRESULT WindowProc(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) override {
        seen.push_back({this, message, wParam, lParam});
        return baseWindowProc(message, wParam, lParam);
    }

protected:
    bool OnInitDialog() override {
        seen.push_back({this, 0xFFFF, 0, 0});
        return true;
    }
    void OnPaint() override { ++paints; }
    void OnCancel() override { ++cancels; }
    void OnHotKey(uint32_t id, uint32_t, uint32_t) override {
        ++hotKeys;
        lastHotKeyId = id;
    }
};

TEST(MessageQueue, KeepsEachPostersOrderAcrossThreads) {
    base::MessageQueue q;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) q.post({nullptr, static_cast<uint32_t>(t), 0, i});
        });
    }
    for (auto& t : posters) t.join();
    std::vector<base::LPARAM> last(kThreads, -1);
    base::MessageQueue::Item item;
    for (int n = 0; n < kThreads * kEach; ++n) {
        ASSERT_TRUE(q.get(item));
        EXPECT_EQ(item.message.lParam, last[item.message.message] + 1);
        last[item.message.message] = item.message.lParam;
    }
    EXPECT_EQ(q.pending(), 0u);
}

TEST(MessageQueue, PostsFromOutsideStopAtTheHighWaterMarkInternalOnesNever) {
    base::MessageQueue q;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < base::MessageQueue::kHighWater + 10; ++i) {
        taken += q.postFromOutside({nullptr, 1, 0, 0}) ? 1 : 0;
    }
    EXPECT_EQ(taken, base::MessageQueue::kHighWater);
    for (int i = 0; i < 100; ++i) q.post({nullptr, 2, 0, i});
    EXPECT_EQ(q.pending(), base::MessageQueue::kHighWater + 100);
    base::MessageQueue::Item item;
    ASSERT_TRUE(q.get(item));
    EXPECT_FALSE(q.postFromOutside({nullptr, 1, 0, 0}));  // still above the mark
    while (q.pending() > 0) ASSERT_TRUE(q.get(item));
    EXPECT_EQ(item.message.message, 2u);  // the internal ones all came, last
    EXPECT_EQ(item.message.lParam, 99);
    EXPECT_TRUE(q.postFromOutside({nullptr, 1, 0, 0}));
}

long residentKb() {
    return testsupport::procStatusField("/proc/self/status", "VmRSS");
}

// Measures the process's memory, which the sanitizers' allocators keep for themselves.
TEST(MessageQueue, MemoryOfABurstIsGivenBackOnceDrained) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators keep freed memory";
#endif
    base::MessageQueue q;
    const long before = residentKb();
    // As from another thread's arena, with tasks that own some memory, like status requests.
    std::thread poster([&] {
        for (int i = 0; i < 200000; ++i) {
            q.postTask([p = std::make_shared<std::vector<char>>(32)] { (void)p; });
        }
    });
    poster.join();
    const long full = residentKb();
    base::MessageQueue::Item item;
    while (q.pending() > 0) ASSERT_TRUE(q.get(item));
    item = {};
    const long drained = residentKb();
    ASSERT_GT(full - before, 10000) << "the burst did not take memory";
    EXPECT_LT(drained - before, 2000) << before << " " << full << " " << drained;
}

TEST(MessageQueue, QuitEndsGetOnlyAfterWhatWasPostedBefore) {
    base::MessageQueue q;
    q.post({nullptr, 1, 0, 0});
    q.quit();
    base::MessageQueue::Item item;
    EXPECT_TRUE(q.get(item));
    EXPECT_FALSE(q.get(item));
}

TEST(DialogLoop, RunsInitThenMessagesAndTasksInPostingOrder) {
    std::vector<uint32_t> order;
    std::thread gui([&] {
        RecordingDialog dlg;
        // Posted from another thread before the loop starts; the loop takes them in order.
        std::thread poster([&] {
            dlg.postMessage(WM_USER + 1, 0, 0);
            dlg.queue().postTask([&] { dlg.seen.push_back({&dlg, 0xEEEE, 0, 0}); });
            dlg.postMessage(WM_USER + 2, 0, 0);
            dlg.queue().postTask([&] { dlg.queue().quit(); });
        });
        poster.join();
        EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
        for (const auto& m : dlg.seen) order.push_back(m.message);
    });
    gui.join();
    EXPECT_EQ(order, (std::vector<uint32_t>{0xFFFF, WM_USER + 1, 0xEEEE, WM_USER + 2}));
}

TEST(DialogLoop, BaseProcedureRunsTheMessageMap) {
    RecordingDialog dlg;
    dlg.WindowProc(WM_PAINT, 0, 0);
    dlg.WindowProc(WM_HOTKEY, 261, 0);
    dlg.WindowProc(WM_CLOSE, 0, 0);
    dlg.WindowProc(WM_COMMAND, IDCANCEL, 0);
    dlg.WindowProc(WM_SETICON, ICON_BIG, 128);
    EXPECT_EQ(dlg.paints, 1);
    EXPECT_EQ(dlg.hotKeys, 1);
    EXPECT_EQ(dlg.lastHotKeyId, 261u);
    // The close command becomes Cancel, which the program may ignore.
    EXPECT_EQ(dlg.cancels, 2);
    EXPECT_EQ(dlg.icon(true), 128u);
    EXPECT_EQ(dlg.icon(false), 0u);
}

TEST(DialogLoop, PostToANullWindowFails) {
    EXPECT_FALSE(base::postMessage(nullptr, WM_USER, 0, 0));
}

}  // namespace
