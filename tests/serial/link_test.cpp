// The serial link in this process: the program's threads on one end of a pty, the simulated
// display controller on the other. One set of threads per process, as in the program.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/globals.h"
#include "app/message_box.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/linux/serial/termios_serial.h"
#include "platform/ports.h"
#include "platform/sim/display_controller.h"
#include "serial/controller_handlers.h"
#include "serial/uart.h"
#include "tests/support/held_elsewhere.h"
#include "tests/support/lifelong_window.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono;

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::makeTempDir("veskosd-link");
        controller = std::make_unique<platform::sim::SimDisplayController>(dir + "/tty");
        std::string error;
        ASSERT_TRUE(controller->start(error)) << error;
        resetGlobals();
        resetCommandFrames();
        clearShownMessageBoxes();
        dispatch::clearHandlers();
        bOSDModel = 0;
        VESKOSDUARTSendCriticalSection.initialize(0x80000400);
        platform::Ports p;
        p.serialPorts =
            std::make_unique<platform::linux_adapter::TermiosSerialPorts>(controller->path());
        platform::installPorts(std::move(p));
        dlg = testsupport::lifelongWindow();
        hMainWnd = dlg;
        registerControllerHandlers();
        OpenUARTDevice();
        CreateUARTEvents();
        StartUARTThreads();
    }
    void TearDown() override {
        CloseUARTDevice();
        hMainWnd = nullptr;
        dispatch::clearHandlers();
    }
    void post(base::LPARAM code) { dlg->WindowProc(WM_DEVICE_EVENT, 512, code); }
    std::vector<std::string> received() { return controller->received(); }
    // The hot keys posted to the window so far.
    std::vector<base::WPARAM> hotKeys() {
        std::vector<base::WPARAM> ids;
        base::MessageQueue::Item item;
        while (dlg->queue().pending() > 0 && dlg->queue().get(item)) {
            if (item.message.message == WM_HOTKEY) ids.push_back(item.message.wParam);
        }
        return ids;
    }

    std::string dir;
    std::unique_ptr<platform::sim::SimDisplayController> controller;
    CVESKOSDDlg* dlg = nullptr;
};

TEST_F(LinkTest, ARequestCompletesWithItsReply) {
    VolumeCount = 7;
    const auto start = steady_clock::now();
    post(LPARAM_SR_VOL_UP_MAKE);
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    EXPECT_EQ(received(), (std::vector<std::string>{"02 00 00 01 7E 00 02 02 07 03"}));
    EXPECT_EQ(frameToHex(UARTResponseBuf.snapshot()), "02 00 00 02 7E 00 02 02 07 03");
    EXPECT_TRUE(shownMessageBoxes().empty());
}

TEST_F(LinkTest, MuteAndPanelAndSourceSendTheirSlots) {
    UARTMuteBuf.set(kValueByte, 1);
    post(LPARAM_SR_MUTE);
    UARTMuteBuf.set(kValueByte, 0);
    post(LPARAM_SR_MUTE);
    post(LPARAM_TOGGLE_LCD);
    post(LPARAM_SOURCE_CHANGED);
    EXPECT_EQ(received(), (std::vector<std::string>{
                              "02 00 00 01 7E 00 02 04 01 03", "02 00 00 01 7E 00 02 04 00 03",
                              "02 00 00 01 7E 00 02 0D 00 03", "02 00 00 01 7E 00 02 06 FF 03"}));
}

TEST_F(LinkTest, BrightnessReadsTheControllerFirstThenSteps) {
    controller->sendRaw({});  // nothing; the controller starts at 50
    bQueryBrightnessFirst = 1;
    post(LPARAM_DEBR);
    EXPECT_EQ(bQueryBrightnessFirst.load(), 0);
    EXPECT_EQ(received(), (std::vector<std::string>{"02 00 00 01 7E 00 02 01 FF 03",
                                                    "02 00 00 01 7E 00 02 00 31 03"}));
    post(LPARAM_INBR);
    EXPECT_EQ(received().back(), "02 00 00 01 7E 00 02 00 32 03");
}

TEST_F(LinkTest, AReplyOf55MakesTheNextStepDownSend54) {
    // The controller answers the read with 0x37 once its own level is 55.
    UARTSetBrightnessBuf.set(kValueByte, 55);
    post(LPARAM_INBR);  // sets the controller to 56
    post(LPARAM_DEBR);  // and back to 55
    bQueryBrightnessFirst = 1;
    UARTSetBrightnessBuf.set(kValueByte, 0);  // forgotten on our side
    post(LPARAM_DEBR);
    auto r = received();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[2], "02 00 00 01 7E 00 02 01 FF 03");
    EXPECT_EQ(r[3], "02 00 00 01 7E 00 02 00 36 03");
}

TEST_F(LinkTest, BrightnessStaysWithin0And100) {
    UARTSetBrightnessBuf.set(kValueByte, 0);
    post(LPARAM_DEBR);
    UARTSetBrightnessBuf.set(kValueByte, 100);
    post(LPARAM_INBR);
    EXPECT_EQ(received(), (std::vector<std::string>{"02 00 00 01 7E 00 02 00 00 03",
                                                    "02 00 00 01 7E 00 02 00 64 03"}));
}

TEST_F(LinkTest, ABusyLockDropsTheEventButStillClearsTheReadFlag) {
    {
        testsupport::HeldElsewhere transfer(VESKOSDUARTSendCriticalSection);
        EXPECT_TRUE(UARTTransferInProgress());
        bQueryBrightnessFirst = 1;
        post(LPARAM_INBR);
        VolumeCount = 9;
        post(LPARAM_SR_VOL_DOWN_MAKE);
        EXPECT_EQ(bQueryBrightnessFirst.load(), 0);
    }

    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(received().empty());
    EXPECT_EQ(SendUARTRequest(2, LockMode::TryOnce), RequestResult::Completed);
}

TEST_F(LinkTest, SilenceEndsTheWaitAfter3000MsAndTheNextTransferWorks) {
    controller->setAnswer(platform::sim::SimDisplayController::Answer::Never);
    const auto start = steady_clock::now();
    // The send thread's own 3000 ms wait starts just after ours, so under load its completion
    // may land right at our deadline: either way the wait lasted the full time.
    EXPECT_NE(SendUARTRequest(2, LockMode::TryOnce), RequestResult::Busy);
    const auto took = steady_clock::now() - start;

    EXPECT_GE(took, milliseconds(2990));
    EXPECT_LT(took, milliseconds(3500));
    controller->setAnswer(platform::sim::SimDisplayController::Answer::Normal);
    std::this_thread::sleep_for(milliseconds(200));  // the send thread's own wait ends too
    EXPECT_EQ(SendUARTRequest(4, LockMode::TryOnce), RequestResult::Completed);
    EXPECT_EQ(received().size(), 2u);
}

TEST_F(LinkTest, AReportWhileIdleBecomesAHotKey) {
    controller->sendReport(0x09);
    controller->sendReport(0x08);
    controller->sendReport(0x0A);
    controller->sendReport(0x0B);  // not a button
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(hotKeys(), (std::vector<base::WPARAM>{KT_VOL_DOWN, KT_VOL_UP, KT_VOL_MUTE}));
}

TEST_F(LinkTest, AReportWhileAReplyIsAwaitedIsDroppedAndTheSenderSeesFFs) {
    controller->setAnswer(platform::sim::SimDisplayController::Answer::Late, 400);
    std::thread reporter([&] {
        std::this_thread::sleep_for(milliseconds(150));
        controller->sendReport(0x09);
    });
    EXPECT_EQ(SendUARTRequest(1, LockMode::TryOnce), RequestResult::Completed);
    // Read before the late reply (due at 400 ms) lands in the receive buffer.
    EXPECT_EQ(UARTReturnCommandBuf.snapshot(), kInvalidFrame);
    reporter.join();
    EXPECT_EQ(UARTResponseBuf.snapshot(), kInvalidFrame);
    EXPECT_EQ(UARTSetBrightnessBuf.get(kValueByte), 0);  // no brightness taken from it
    std::this_thread::sleep_for(milliseconds(500));      // the late reply comes and is dropped
    EXPECT_TRUE(hotKeys().empty());
}

TEST_F(LinkTest, FramesThatFailTheTemplateAreDiscarded) {
    controller->sendRaw({0x02, 0x00, 0x00, 0x02, 0x7F, 0x00, 0x02, 0x09, 0x00, 0x03});
    controller->sendRaw({0x02, 0x00, 0x00, 0x01, 0x7E, 0x00, 0x02, 0x08, 0x00, 0x03});
    controller->sendRaw({0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x0A, 0x00, 0x04});
    // Cut short: the 128 ms gap ends the read and the zeros fail the template.
    controller->sendRaw({0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x08});
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_TRUE(hotKeys().empty());
    EXPECT_EQ(UARTReturnCommandBuf.snapshot(), kInvalidFrame);
}

TEST_F(LinkTest, TheLineIsSetTo9600Baud8N1Raw) {
    platform::LineSettings s;
    ASSERT_TRUE(currentUARTPort()->getState(s));
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_FALSE(s.parity);
    EXPECT_EQ(s.stopBits, 1);
    // Exclusive: nobody else may open the line while we hold it (root may, so ask the flag).
    int exclusive = 0;
    ASSERT_EQ(ioctl(static_cast<int>(currentUARTPort()->handle()), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
}

TEST_F(LinkTest, WithTheLineClosedRequestsCompleteAtOnceWithoutSending) {
    CloseUARTDevice();
    EXPECT_EQ(hUARTDevice.load(), INVALID_HANDLE_VALUE);
    const auto start = steady_clock::now();
    EXPECT_EQ(SendUARTRequest(2, LockMode::TryOnce), RequestResult::Completed);
    EXPECT_LT(steady_clock::now() - start, milliseconds(100));
    EXPECT_TRUE(received().empty());
}

// A line that notes, at each set-up step, whether the receive thread could already reach it.
class WatchedLine final : public platform::SerialPort {
public:
    bool getState(platform::LineSettings&) override { return note(); }
    bool setState(const platform::LineSettings&) override { return note(); }
    bool setReadIntervalTimeout(uint32_t) override { return note(); }
    bool setReceiveMask() override { return note(); }
    bool waitForReceive() override {
        std::unique_lock l(m);
        cv.wait(l, [&] { return closed; });
        return false;
    }
    int read(uint8_t*, std::size_t) override { return -1; }
    bool write(const uint8_t*, std::size_t) override { return true; }
    void close() override {
        std::lock_guard l(m);
        closed = true;
        cv.notify_all();
    }
    intptr_t handle() const override { return 42; }

    std::atomic<int> steps{0}, visibleSteps{0};

private:
    bool note() {
        ++steps;
        if (currentUARTPort() || hUARTDevice.load() != INVALID_HANDLE_VALUE) ++visibleSteps;
        return true;
    }
    std::mutex m;
    std::condition_variable cv;
    bool closed = false;
};

class OneLine final : public platform::SerialPorts {
public:
    explicit OneLine(std::shared_ptr<WatchedLine> line) : line_(std::move(line)) {}
    std::shared_ptr<platform::SerialPort> open() override { return line_; }

private:
    std::shared_ptr<WatchedLine> line_;
};

TEST(OpenUARTDevice, TheLineIsFullyConfiguredBeforeItIsPublished) {
    resetGlobals();
    clearShownMessageBoxes();
    auto line = std::make_shared<WatchedLine>();
    platform::Ports p;
    p.serialPorts = std::make_unique<OneLine>(line);
    platform::installPorts(std::move(p));
    OpenUARTDevice();
    EXPECT_EQ(line->steps.load(), 4);
    EXPECT_EQ(line->visibleSteps.load(), 0);
    EXPECT_EQ(currentUARTPort(), line);
    EXPECT_EQ(hUARTDevice.load(), 42);
    EXPECT_TRUE(shownMessageBoxes().empty());
    CloseUARTDevice();
    platform::installPorts({});
}

TEST(OpenUARTDevice, AMissingPortShowsItsBoxAndLeavesTheHandleClosed) {
    resetGlobals();
    clearShownMessageBoxes();
    platform::Ports p;
    p.serialPorts = std::make_unique<platform::linux_adapter::TermiosSerialPorts>("/nonexistent");
    platform::installPorts(std::move(p));
    OpenUARTDevice();
    ASSERT_EQ(shownMessageBoxes().size(), 1u);
    EXPECT_EQ(shownMessageBoxes()[0].text, "Can't Open UART Device");
    EXPECT_EQ(shownMessageBoxes()[0].type, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(hUARTDevice.load(), INVALID_HANDLE_VALUE);
    // A file that is not a terminal is no serial line either.
    platform::installPorts({});
}

}  // namespace
