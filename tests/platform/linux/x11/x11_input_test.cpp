// The keyboard and mouse adapter on a real X server, driven with xdotool.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "base/message_queue.h"
#include "platform/linux/x11/x11_input.h"
#include "tests/platform/linux/x11/x11_fixture.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono;
using platform::linux_adapter::X11Connection;
using platform::linux_adapter::X11Input;

// Another program's window with the focus, counting the keys and clicks it receives.
class Bystander {
public:
    Bystander() {
        d_ = XOpenDisplay(nullptr);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        w_ = XCreateWindow(d_, DefaultRootWindow(d_), 0, 0, 400, 300, 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWOverrideRedirect, &a);
        XSelectInput(d_, w_, KeyPressMask | ButtonPressMask);
        XMapRaised(d_, w_);
        XSync(d_, False);
        XSetInputFocus(d_, w_, RevertToParent, CurrentTime);
        XSync(d_, False);
    }
    ~Bystander() { XCloseDisplay(d_); }
    int keys = 0, clicks = 0;
    void drain() {
        XSync(d_, False);
        while (XPending(d_)) {
            XEvent ev;
            XNextEvent(d_, &ev);
            keys += ev.type == KeyPress;
            clicks += ev.type == ButtonPress;
        }
    }

private:
    Display* d_;
    Window w_;
};

class X11InputTest : public testsupport::X11Fixture {
protected:
    void SetUp() override {
        X11Fixture::SetUp();
        if (HasFatalFailure()) return;
        input = std::make_unique<X11Input>(x);
        input->start([this](std::function<void()> work) { gui.postTask(std::move(work)); },
                     [this](uint32_t id, uint32_t, uint32_t) {
                         std::lock_guard l(m);
                         hotKeys.push_back(id);
                     });
        input->installHooks(
            [this](int, base::WPARAM msg, const platform::KBDLLHOOKSTRUCT& k) -> base::LRESULT {
                keyLog.push_back(std::to_string(k.vkCode) +
                                 (msg == platform::WM_KEYUP ? "u" : "d") + "/" +
                                 std::to_string(k.scanCode));

                if (k.vkCode == platform::VK_DELETE && input->keyDown(platform::VK_CONTROL)) {
                    ++ctrlDeletes;
                    return 0;
                }
                const bool volume =
                    k.vkCode >= platform::VK_VOLUME_MUTE && k.vkCode <= platform::VK_VOLUME_UP;
                return swallow && !volume ? 1 : 0;
            },
            [this](int, base::WPARAM, const platform::MSLLHOOKSTRUCT&) -> base::LRESULT {
                ++mouseEvents;
                return swallow ? 1 : 0;
            });
    }
    void TearDown() override {
        input.reset();
        X11Fixture::TearDown();
    }
    // Runs what the adapter handed to the "GUI thread" until `ms` passed.
    void pump(int ms) {
        const auto end = steady_clock::now() + milliseconds(ms);
        base::MessageQueue::Item item;
        while (steady_clock::now() < end) {
            while (gui.pending() > 0 && gui.get(item)) {
                if (item.task) item.task();
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    // Pumps until `done` holds, or fails after two seconds.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto end = steady_clock::now() + seconds(2);
        base::MessageQueue::Item item;
        while (!done()) {
            if (steady_clock::now() > end) return false;
            while (gui.pending() > 0 && gui.get(item)) {
                if (item.task) item.task();
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return true;
    }
    std::size_t hotKeyCount() {
        std::lock_guard l(m);
        return hotKeys.size();
    }
    void xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        int status = -1;
        testsupport::run(argv, &status);
        ASSERT_EQ(status, 0);
    }
    std::vector<uint32_t> takeHotKeys() {
        std::lock_guard l(m);
        return std::exchange(hotKeys, {});
    }

    std::unique_ptr<X11Input> input;
    base::MessageQueue gui;
    std::mutex m;
    std::vector<uint32_t> hotKeys;
    std::vector<std::string> keyLog;
    int ctrlDeletes = 0;
    int mouseEvents = 0;
    bool swallow = false;
};

TEST_F(X11InputTest, VolumeKeysFireTheirHotKeysWithAndWithoutLockKeys) {
    ASSERT_TRUE(input->registerHotKey(261, 0, platform::VK_VOLUME_UP));
    ASSERT_TRUE(input->registerHotKey(260, 0, platform::VK_VOLUME_MUTE));
    xdotool({"key", "XF86AudioRaiseVolume"});
    xdotool({"key", "Num_Lock"});
    xdotool({"key", "XF86AudioMute"});
    xdotool({"key", "Num_Lock"});
    EXPECT_TRUE(pumpUntil([&] { return hotKeyCount() == 2 && keyLog.size() >= 8; }));
    EXPECT_EQ(takeHotKeys(), (std::vector<uint32_t>{261, 260}));

    // The hooks saw the keys as input activity as well.
    EXPECT_NE(std::find(keyLog.begin(), keyLog.end(), "175d/123"), keyLog.end());
}

TEST_F(X11InputTest, AKeyAnotherClientHoldsIsSimplyAbsent) {
    Display* other = XOpenDisplay(nullptr);
    const KeyCode code = XKeysymToKeycode(other, XStringToKeysym("XF86AudioLowerVolume"));
    XGrabKey(other, code, 0, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    EXPECT_FALSE(input->registerHotKey(259, 0, platform::VK_VOLUME_DOWN));
    EXPECT_TRUE(input->registerHotKey(261, 0, platform::VK_VOLUME_UP));
    XCloseDisplay(other);
}

TEST_F(X11InputTest, TheInjectedRightControlIsSeenAsPressedThenReleased) {
    input->injectKey(platform::VK_RCONTROL, false);
    EXPECT_TRUE(pumpUntil([&] { return input->keyDown(platform::VK_CONTROL); }));
    input->injectKey(platform::VK_RCONTROL, true);
    EXPECT_TRUE(pumpUntil([&] { return !input->keyDown(platform::VK_CONTROL); }));
    // The server's own key, not the left one: the hooks saw Control_R go down and up.
    EXPECT_NE(std::find(keyLog.begin(), keyLog.end(), "163d/105"), keyLog.end());
    EXPECT_NE(std::find(keyLog.begin(), keyLog.end(), "163u/105"), keyLog.end());
}

// Many raw events read in one go: each keeps its data until the hooks have seen it.
TEST_F(X11InputTest, EveryEventOfABurstReachesTheHooks) {
    Display* other = XOpenDisplay(nullptr);
    const KeyCode a = XKeysymToKeycode(other, XStringToKeysym("a"));
    constexpr std::size_t kTaps = 20;
    {
        // The adapter cannot read while the burst is sent, so it finds all of it at once.
        auto held = x->session();
        for (std::size_t i = 0; i < kTaps; ++i) {
            XTestFakeKeyEvent(other, a, True, CurrentTime);
            XTestFakeKeyEvent(other, a, False, CurrentTime);
        }
        XSync(other, False);
    }
    XCloseDisplay(other);
    EXPECT_TRUE(pumpUntil([&] { return keyLog.size() == 2 * kTaps; })) << keyLog.size();
}

TEST_F(X11InputTest, WhileBlockingNothingReachesOtherProgramsButVolumeKeysAndCtrlDeleteWork) {
    ASSERT_TRUE(input->registerHotKey(261, 0, platform::VK_VOLUME_UP));
    Bystander app;
    xdotool({"type", "ab"});
    app.drain();
    ASSERT_EQ(app.keys, 2);  // before blocking, typing reaches the focused window

    swallow = true;
    input->setBlocking(true);
    pump(50);
    app.keys = 0;
    xdotool({"type", "hello"});
    xdotool({"click", "1"});
    xdotool({"key", "XF86AudioRaiseVolume"});
    // As a person types it: Control held around a Delete press and release.
    xdotool({"keydown", "ctrl"});
    xdotool({"key", "Delete"});
    xdotool({"keyup", "ctrl"});
    EXPECT_TRUE(pumpUntil([&] { return ctrlDeletes == 2 && hotKeyCount() == 1; }));
    pump(100);  // and nothing more arrives

    app.drain();
    EXPECT_EQ(app.keys, 0);
    EXPECT_EQ(app.clicks, 0);
    EXPECT_GT(mouseEvents, 0);
    EXPECT_EQ(takeHotKeys(), (std::vector<uint32_t>{261}));
    EXPECT_EQ(ctrlDeletes, 2);  // the press and the release

    swallow = false;
    input->setBlocking(false);
    pump(50);
    xdotool({"type", "ok"});
    app.drain();
    EXPECT_EQ(app.keys, 2);
}

}  // namespace
