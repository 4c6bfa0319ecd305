#include "input/raw_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "app/globals.h"
#include "base/thread.h"
#include "dispatch/device_events.h"
#include "osd/osd_window.h"
#include "platform/ports.h"
#include "platform/sim/sim_hid.h"
#include "serial/command_frames.h"
#include "serial/controller_handlers.h"
#include "tests/support/lifelong_window.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class RawInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        resetRawInputState();
        bQueryBrightnessFirst = 0;
        auto h = std::make_unique<platform::sim::SimHid>();
        hid = h.get();
        platform::Ports p;
        p.rawInput = std::move(h);
        platform::installPorts(std::move(p));
        window = testsupport::lifelongWindow();
        hMainWnd = window;
        // The threads fix their interval from the model when they start: the OSD model here.
        static const bool started = [] {
            CreateOsdEvents();
            CreateBrightnessKeyEvents();
            base::startThread("BD", ThreadBDFunction);
            base::startThread("BU", ThreadBUFunction);
            return true;
        }();
        ASSERT_TRUE(started);
        base::resetEvent(hFadeOutOSDEvent.load());
        window->queue().setPostObserver([this](const base::Message& m) {
            std::lock_guard lock(mutex);
            if (m.message == WM_INPUT) {
                inputs.push_back(m.lParam);
            } else if (m.message == WM_DEVICE_EVENT) {
                posts.emplace_back(m.lParam, Clock::now());
            }
        });
        RegisterRawInputDevices();
    }
    void TearDown() override {
        send({"08", "00"});
        waitIdle();
        window->queue().setPostObserver({});
        hMainWnd = nullptr;
        platform::installPorts({});
        resetGlobals();
    }
    // Sends one report through the simulated device and handles its WM_INPUT as the GUI would.
    void send(const std::vector<std::string>& bytes) {
        hid->command(bytes);
        base::LPARAM handle = 0;
        {
            std::lock_guard lock(mutex);
            ASSERT_FALSE(inputs.empty());
            handle = inputs.back();
            inputs.clear();
        }
        OnRawInput(handle);
    }
    // Both repeat threads are back waiting for a press.
    static void waitIdle() {
        const auto deadline = Clock::now() + milliseconds(3000);
        while ((base::waitingThreads(hBritDownMakeEvent.load()) == 0 ||
                base::waitingThreads(hBritUpMakeEvent.load()) == 0) &&
               Clock::now() < deadline) {
            std::this_thread::yield();
        }
    }
    std::vector<std::pair<base::LPARAM, Clock::time_point>> takePosts() {
        std::lock_guard lock(mutex);
        return std::exchange(posts, {});
    }
    static std::size_t count(const std::vector<std::pair<base::LPARAM, Clock::time_point>>& p,
                             base::LPARAM code) {
        return static_cast<std::size_t>(
            std::count_if(p.begin(), p.end(), [code](const auto& e) { return e.first == code; }));
    }

    platform::sim::SimHid* hid = nullptr;
    CVESKOSDDlg* window = nullptr;
    std::mutex mutex;
    std::vector<base::LPARAM> inputs;
    std::vector<std::pair<base::LPARAM, Clock::time_point>> posts;
};

TEST_F(RawInputTest, AShortPressGivesOneStepAndStartsTheFadeAtKeyUp) {
    send({"08", "03"});
    EXPECT_EQ(bQueryBrightnessFirst.load(), 1);
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_FALSE(base::isSignalled(hFadeOutOSDEvent.load()));
    send({"08", "01"});
    EXPECT_TRUE(base::isSignalled(hFadeOutOSDEvent.load()));
    EXPECT_EQ(bHIDBrightnessActive.load(), 0);
    waitIdle();
    const auto p = takePosts();
    EXPECT_EQ(count(p, LPARAM_DEBR), 1u);
    EXPECT_EQ(p.size(), 1u);
}

// Timing test: at once, at 500 ms, then every 30 ms; counted with a margin of two.
TEST_F(RawInputTest, AHeldKeyRepeatsAfterHalfASecondEveryThirtyMilliseconds) {
    const auto start = Clock::now();
    send({"08", "03"});
    std::this_thread::sleep_until(start + milliseconds(700));
    send({"08", "01"});
    waitIdle();
    const auto p = takePosts();
    ASSERT_GE(p.size(), 2u);
    EXPECT_LT(p[0].second - start, milliseconds(100));
    EXPECT_GE(p[1].second - start, milliseconds(495));
    const std::size_t expected = 2 + 200 / 30;
    EXPECT_GE(count(p, LPARAM_DEBR), expected - 2);
    EXPECT_LE(count(p, LPARAM_DEBR), expected + 2);
    EXPECT_EQ(count(p, LPARAM_DEBR), p.size());
}

TEST_F(RawInputTest, TheOtherBrightnessKeyTakesOverAndAPanelKeyIsIgnoredMeanwhile) {
    send({"08", "03"});
    EXPECT_EQ(bQueryBrightnessFirst.exchange(0), 1);
    send({"08", "02"});  // ignored while a brightness key is held
    EXPECT_EQ(dwHIDKeyHeld.load(), LPARAM_DEBR);
    send({"08", "04"});
    EXPECT_EQ(bQueryBrightnessFirst.load(), 0);
    EXPECT_EQ(dwHIDKeyHeld.load(), LPARAM_INBR);
    // The down repeat has ended: only up steps follow.
    const auto deadline = Clock::now() + milliseconds(3000);
    while (base::waitingThreads(hBritDownMakeEvent.load()) == 0 && Clock::now() < deadline) {
        std::this_thread::yield();
    }
    takePosts();
    std::this_thread::sleep_for(milliseconds(600));
    send({"08", "01"});
    waitIdle();
    const auto p = takePosts();
    EXPECT_EQ(count(p, LPARAM_DEBR), 0u);
    EXPECT_GE(count(p, LPARAM_INBR), 2u);
    EXPECT_EQ(count(p, LPARAM_TOGGLE_LCD), 0u);
}

TEST_F(RawInputTest, PanelKeyTogglesTheFrameValueOnTheControllerModel) {
    bOSDModel = 0;
    send({"08", "02"});
    EXPECT_EQ(UARTToggleLCDBuf.get(kValueByte), 0);
    send({"08", "01"});
    send({"08", "02"});
    EXPECT_EQ(UARTToggleLCDBuf.get(kValueByte), 1);
    send({"08", "01"});
    EXPECT_EQ(count(takePosts(), LPARAM_TOGGLE_LCD), 2u);
    bOSDModel = 1;
}

TEST_F(RawInputTest, SelectReportsReadByteFiveThenByteNine) {
    struct Case {
        std::vector<std::string> report;
        std::vector<base::LPARAM> posted;
    };
    const Case cases[] = {
        {{"01", "00", "00", "00", "00", "00", "00", "00", "00", "35"}, {LPARAM_SOURCE_CHANGED}},
        {{"01", "00", "00", "00", "00", "35", "00", "00", "00", "0D"}, {LPARAM_SOURCE_CHANGED}},
        {{"01", "00", "00", "00", "00", "0D", "00", "00", "00", "00"}, {LPARAM_MEDIA_SELECT}},
        {{"01", "00", "00", "00", "00", "00", "00", "00", "00", "0C"}, {LPARAM_SLEEP_SELECT}},
        {{"01", "00", "00", "00", "00", "22", "00", "00", "00", "35"}, {}},
        // Too short for its layout, or of another id: ignored whole.
        {{"01", "00", "00", "00", "00", "35", "00", "00", "00"}, {}},
        {{"08"}, {}},
        {{"09", "03"}, {}},
    };
    for (const Case& c : cases) {
        send(c.report);
        std::vector<base::LPARAM> got;
        for (const auto& [code, at] : takePosts()) got.push_back(code);
        EXPECT_EQ(got, c.posted) << c.report.size() << " bytes";
    }
    EXPECT_EQ(dwHIDKeyHeld.load(), 0);
    // A number that names no record is ignored.
    OnRawInput(424242);
    EXPECT_TRUE(takePosts().empty());
}

TEST_F(RawInputTest, TheFirstAllKeysUpAfterStartStartsTheFade) {
    send({"08", "00"});
    EXPECT_TRUE(base::isSignalled(hFadeOutOSDEvent.load()));
}

}  // namespace
