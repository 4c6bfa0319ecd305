#include "base/message_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/window.h"

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
