// The program's serial link (its send and receive threads) over the serial port under Wine, with
// the far pty standing for the display controller. One set of threads per process, as in the
// program: one case. Without VESKOSD_TEST_PORT the line is the program's own "\\.\COM1",
// which e2e/serial.sh maps onto the pty.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "app/globals.h"
#include "app/message_box.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"
#include "platform/win32/serial/comm_port.h"
#include "serial/controller_handlers.h"
#include "serial/uart.h"
#include "tests/platform/win32/serial/pty_paths.h"
#include "tests/support/lifelong_window.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Up to ten bytes from the controller's end, or nothing within 5 s.
Bytes take(platform::SerialPort& controller) {
    auto got = std::async(std::launch::async, [&] {
        Bytes b(10);
        if (!controller.waitForReceive()) return Bytes{};
        const int n = controller.read(b.data(), b.size());
        b.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return b;
    });
    if (got.wait_for(5s) != std::future_status::ready) controller.close();
    return got.get();
}

TEST(SerialLinkOverComm, AFrameGoesOutItsReplyIsTakenAndAReportBecomesAHotKey) {
    const std::wstring portPath = testsupport::ptyPath("VESKOSD_TEST_PORT");
    const std::wstring peerPath = testsupport::ptyPath("VESKOSD_TEST_PEER");
    ASSERT_FALSE(peerPath.empty()) << "run through with_ptys.sh";
    auto controller = platform::win32::CommPorts(peerPath).open();
    ASSERT_TRUE(controller);
    ASSERT_TRUE(controller->setReadIntervalTimeout(128));

    resetGlobals();
    resetCommandFrames();
    clearShownMessageBoxes();
    dispatch::clearHandlers();
    bOSDModel = 0;
    VESKOSDUARTSendCriticalSection.initialize(0x80000400);
    platform::Ports p;
    p.serialPorts = portPath.empty() ? std::make_unique<platform::win32::CommPorts>()
                                     : std::make_unique<platform::win32::CommPorts>(portPath);
    platform::installPorts(std::move(p));
    CVESKOSDDlg* dlg = testsupport::lifelongWindow();
    hMainWnd = dlg;
    registerControllerHandlers();
    OpenUARTDevice();
    CreateUARTEvents();
    StartUARTThreads();
    EXPECT_TRUE(shownMessageBoxes().empty());

    // Volume up on the controller's model: the volume frame, answered by its reply.
    VolumeCount = 7;
    auto request = std::async(
        std::launch::async, [&] { dlg->WindowProc(WM_DEVICE_EVENT, 512, LPARAM_SR_VOL_UP_MAKE); });
    const Bytes frame = take(*controller);
    ASSERT_EQ(frame.size(), 10u);
    Frame sent{};
    std::copy(frame.begin(), frame.end(), sent.begin());
    EXPECT_EQ(frameToHex(sent), "02 00 00 01 7E 00 02 02 07 03");
    Bytes reply = frame;
    reply[3] = 0x02;
    ASSERT_TRUE(controller->write(reply.data(), reply.size()));
    ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(frameToHex(UARTResponseBuf.snapshot()), "02 00 00 02 7E 00 02 02 07 03");

    // Volume down pressed on the controller, nobody waiting for a reply: a hot key.
    const Bytes report{0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x09, 0x00, 0x03};
    ASSERT_TRUE(controller->write(report.data(), report.size()));
    auto hotKey = std::async(std::launch::async, [&] {
        base::MessageQueue::Item item;
        while (dlg->queue().get(item)) {
            if (item.message.message == WM_HOTKEY) return item.message.wParam;
        }
        return base::WPARAM{0};
    });
    if (hotKey.wait_for(5s) != std::future_status::ready) dlg->queue().quit();
    EXPECT_EQ(hotKey.get(), KT_VOL_DOWN);

    CloseUARTDevice();
    controller->close();
}

}  // namespace
