#include "input/hot_keys.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "osd/osd_window.h"
#include "platform/keysyms.h"
#include "platform/ports.h"
#include "platform/sim/audio.h"
#include "serial/uart.h"
#include "tests/support/held_elsewhere.h"
#include "tests/support/lifelong_window.h"

namespace {

// Keyboard and mouse that only record what the program injects.
class RecordingInput final : public platform::InputDevices {
public:
    std::vector<std::string>* log = nullptr;
    std::set<uint32_t> down;
    bool blocking = false;
    void start(std::function<void(std::function<void()>)>,
               std::function<void(uint32_t, uint32_t, uint32_t)>) override {}
    bool registerHotKey(uint32_t, uint32_t, uint32_t) override { return true; }
    void installHooks(platform::KeyboardHook, platform::MouseHook) override {}
    void setBlocking(bool b) override { blocking = b; }
    bool keyDown(uint32_t vk) override { return down.count(vk) != 0; }
    void injectKey(uint32_t vk, bool up) override {
        // By keysym: the tap is the right-hand Control key, as the extended-key flag makes it.
        log->push_back(platform::keysymNameFromVirtualKey(vk) + (up ? " up" : " down"));
    }
};

class HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        dispatch::clearHandlers();
        MajorVersion = 6;
        platform::Ports p;
        auto in = std::make_unique<RecordingInput>();
        in->log = &log;
        input = in.get();
        p.input = std::move(in);
        p.audioEndpoints = audio.makeEndpoints();
        platform::installPorts(std::move(p));
        CreateOsdEvents();
        dlg = testsupport::lifelongWindow();
        hMainWnd = dlg;
        // What the OSD events look like at the moment each device event is posted.
        dlg->queue().setPostObserver([this](const base::Message& m) {
            if (m.message != WM_DEVICE_EVENT) return;
            log.push_back("post " + std::to_string(m.lParam) +
                          " show=" + std::to_string(base::isSignalled(hShowOSDEvent.load())) +
                          " fade=" + std::to_string(base::isSignalled(hFadeOutOSDEvent.load())));
        });
        base::resetEvent(hShowOSDEvent.load());
        base::resetEvent(hFadeOutOSDEvent.load());
    }
    void TearDown() override {
        dlg->queue().setPostObserver({});
        hMainWnd = nullptr;
        platform::installPorts({});
        resetGlobals();
    }

    std::vector<std::string> log;
    RecordingInput* input = nullptr;
    platform::sim::SimAudio audio;
    CVESKOSDDlg* dlg = nullptr;
};

TEST_F(HotKeyTest, VolumeUpTapsControlStepsShowsPostsThenFades) {
    audio.with([](platform::sim::SimAudioState& s) { return s.endpoints[0].level = 0.30f; });
    MyHotKey(KT_VOL_UP, 0);
    EXPECT_EQ(
        log, (std::vector<std::string>{"Control_R down", "Control_R up", "post 32 show=1 fade=0"}));
    EXPECT_EQ(VolumeCount.load(), 31);
    // The fade was asked for after the post: the show event is cleared again.
    EXPECT_FALSE(base::isSignalled(hShowOSDEvent.load()));
    EXPECT_TRUE(base::isSignalled(hFadeOutOSDEvent.load()));
}

TEST_F(HotKeyTest, DownAndMutePostTheirCodes) {
    MyHotKey(KT_VOL_DOWN, 0);
    MyHotKey(KT_VOL_MUTE, 0);
    EXPECT_EQ(log[2], "post 34 show=1 fade=0");
    EXPECT_EQ(log[5].substr(0, 7), "post 36");
    EXPECT_EQ(fVolumeMute.load(), 1);
}

TEST_F(HotKeyTest, AFailedOperationPostsNothing) {
    audio.with([](platform::sim::SimAudioState& s) { return s.serverDown = true; });
    MyHotKey(KT_VOL_UP, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Control_R down", "Control_R up"}));
    EXPECT_FALSE(base::isSignalled(hFadeOutOSDEvent.load()));
}

TEST_F(HotKeyTest, AVolumeKeyDuringATransferIsDroppedAfterTheTap) {
    {
        testsupport::HeldElsewhere transfer(VESKOSDUARTSendCriticalSection);
        MyHotKey(KT_VOL_UP, 0);
    }

    EXPECT_EQ(log, (std::vector<std::string>{"Control_R down", "Control_R up"}));
    EXPECT_EQ(VolumeCount.load(), -1);
    EXPECT_TRUE(audio.with([](platform::sim::SimAudioState& s) { return s.calls.empty(); }));
}

TEST_F(HotKeyTest, BrightnessOnTheControllerModelTouchesNoOsdEvent) {
    bOSDModel = 0;
    MyHotKey(KT_BRIT_DOWN, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"post 17 show=0 fade=0"}));
    EXPECT_FALSE(base::isSignalled(hFadeOutOSDEvent.load()));
    bOSDModel = 1;
    MyHotKey(KT_BRIT_UP, 0);
    EXPECT_EQ(log.back(), "post 18 show=1 fade=0");
    EXPECT_TRUE(base::isSignalled(hFadeOutOSDEvent.load()));
}

TEST_F(HotKeyTest, PanelPostsOnlyItsCodeAndOtherIdsNothing) {
    MyHotKey(KT_TOGGLE_LCD, 0);
    MyHotKey(255, 0);
    MyHotKey(262, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"post 162 show=0 fade=0"}));
}

TEST_F(HotKeyTest, TheActivityHookRecordsTheTimeAndPassesOn) {
    dwLastInputTick = 0;
    EXPECT_EQ(InputActivityHookProc(-1, 0, nullptr), 0);
    EXPECT_EQ(dwLastInputTick.load(), 0u);
    EXPECT_EQ(InputActivityHookProc(0, platform::WM_KEYDOWN, nullptr), 0);
    EXPECT_NE(dwLastInputTick.load(), 0u);
}

class BlockingHookTest : public HotKeyTest {
protected:
    platform::KBDLLHOOKSTRUCT key(uint32_t vk) {
        platform::KBDLLHOOKSTRUCT k;
        k.vkCode = vk;
        return k;
    }
};

TEST_F(BlockingHookTest, WithHidEnabledEverythingPassesAndCtrlDeleteSendsNothing) {
    bOSDModel = 0;
    CreateUARTEvents();
    input->down = {platform::VK_CONTROL};
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYDOWN, key('A')), 0);
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYDOWN, key(platform::VK_DELETE)), 0);
    EXPECT_FALSE(base::isSignalled(hUARTSendRequestEvent[5].load()));
    EXPECT_EQ(LowLevelMouseProc(0, platform::WM_MOUSEMOVE, {}), 0);
}

TEST_F(BlockingHookTest, WithHidDisabledOnlyVolumeKeysAndCtrlDeletePass) {
    bOSDModel = 0;
    bHIDEnabled = 0;
    CreateUARTEvents();
    UpdateInputBlocking();
    EXPECT_TRUE(input->blocking);
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYDOWN, key('A')), 1);
    EXPECT_EQ(LowLevelKeyboardProc(-1, platform::WM_KEYDOWN, key('A')), 0);
    EXPECT_EQ(LowLevelMouseProc(0, platform::WM_LBUTTONDOWN, {}), 1);
    EXPECT_EQ(LowLevelMouseProc(-1, platform::WM_LBUTTONDOWN, {}), 0);
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYDOWN, key(platform::VK_VOLUME_UP)), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Control_R down", "Control_R up"}));
    // Delete alone is swallowed like any key.
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYDOWN, key(platform::VK_DELETE)), 1);
    EXPECT_FALSE(base::isSignalled(hUARTSendRequestEvent[5].load()));
    // With Control down it asks for slot 5 and passes on; the completion it waits for is not
    // reset first, so one left set ends the wait at once.
    input->down = {platform::VK_CONTROL};
    base::setEvent(hSendUARTCompleteEvent.load());
    base::setEvent(hUARTSendRequestEvent[2].load());
    EXPECT_EQ(LowLevelKeyboardProc(0, platform::WM_KEYUP, key(platform::VK_DELETE)), 0);
    EXPECT_TRUE(base::isSignalled(hUARTSendRequestEvent[5].load()));
    EXPECT_FALSE(base::isSignalled(hUARTSendRequestEvent[2].load()));
}

}  // namespace
