// The display-controller model of the running daemon, with the simulated controller on a pty.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
using namespace std::chrono;

const std::vector<std::string> kModel2 = {"--machine", "sim",      "--sim-model", "2",
                                          "--osd",     "headless", "--verbose"};

bool eventually(const std::function<bool()>& condition, milliseconds limit = seconds(5)) {
    const auto deadline = steady_clock::now() + limit;
    while (steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return condition();
}

nlohmann::json received(const Daemon& d) {
    return d.status()["sim"]["controller"]["received"];
}

TEST(SerialE2E, AVolumeEventBecomesAFrameAndItsReplyComesBack) {
    Daemon d(kModel2);
    auto s = d.status();
    EXPECT_EQ(s["bOSDModel"], 0);
    EXPECT_EQ(s["dwModelID"], 2);
    EXPECT_NE(s["hUARTDevice"], "INVALID_HANDLE_VALUE");
    EXPECT_TRUE(s["messageBoxes"].empty());
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    s = d.status();
    EXPECT_EQ(s["sim"]["controller"]["received"],
              nlohmann::json::array({"02 00 00 01 7E 00 02 02 32 03"}));
    EXPECT_EQ(s["sim"]["controller"]["volume"], 50);
    EXPECT_EQ(s["uart"]["UARTResponseBuf"], "02 00 00 02 7E 00 02 02 32 03");
}

TEST(SerialE2E, ASilentControllerHoldsTheWindowFor3SecondsAndTheLinkRecovers) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "answer", "never"}).status, 0);
    ASSERT_EQ(d.client({"post", "1281", "512", "36"}).status, 0);
    const auto start = steady_clock::now();
    d.status();  // answered once the handler's wait has ended
    const auto held = steady_clock::now() - start;
    EXPECT_GT(held, milliseconds(2500));
    EXPECT_LT(held, milliseconds(3600));
    ASSERT_EQ(d.client({"sim", "controller", "answer", "normal"}).status, 0);
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_EQ(d.client({"post", "1281", "512", "34"}).status, 0);
    auto s = d.status();
    EXPECT_EQ(s["sim"]["controller"]["received"].size(), 2u);
    EXPECT_EQ(s["uart"]["UARTResponseBuf"], "02 00 00 02 7E 00 02 02 32 03");
}

TEST(SerialE2E, AButtonReportWhileIdleArrivesAsTheVolumeDownHotKey) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "report", "0x09"}).status, 0);
    EXPECT_TRUE(eventually([&] {
        return d.stderrText().find("WM_HOTKEY wParam 259 lParam 0") != std::string::npos;
    })) << d.stderrText();
}

TEST(SerialE2E, AFrameWithAWrongMarkerIsIgnored) {
    Daemon d(kModel2);
    ASSERT_EQ(
        d.client({"sim", "controller", "send", "2", "0", "0", "2", "0x7F", "0", "2", "9", "0", "3"})
            .status,
        0);
    ASSERT_TRUE(eventually([&] {
        return d.status()["uart"]["UARTReturnCommandBuf"] != "00 00 00 00 00 00 00 00 00 00";
    }));
    EXPECT_EQ(d.status()["uart"]["UARTReturnCommandBuf"], "FF FF FF FF FF FF FF FF FF FF");
    EXPECT_EQ(d.stderrText().find("WM_HOTKEY"), std::string::npos);
}

TEST(SerialE2E, UnpluggingClosesThePortAndPluggingBackReopensIt) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "unplug"}).status, 0);
    ASSERT_TRUE(eventually([&] { return d.status()["hUARTDevice"] == "INVALID_HANDLE_VALUE"; }));
    ASSERT_EQ(d.client({"sim", "controller", "plug"}).status, 0);
    ASSERT_TRUE(eventually([&] { return d.status()["hUARTDevice"] != "INVALID_HANDLE_VALUE"; }));
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    EXPECT_EQ(received(d).size(), 1u);
    // And again: a port opened after start-up is watched as well.
    ASSERT_EQ(d.client({"sim", "controller", "unplug"}).status, 0);
    EXPECT_TRUE(eventually([&] { return d.status()["hUARTDevice"] == "INVALID_HANDLE_VALUE"; }));
    EXPECT_TRUE(d.status()["messageBoxes"].empty());
}

TEST(SerialE2E, WithNoPortAtStartBothBoxesAreShownAndRequestsEndAtOnce) {
    Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless", "--serial",
              "/nonexistent/ttyVESKOSD"});
    auto s = d.status();
    ASSERT_EQ(s["messageBoxes"].size(), 2u);
    EXPECT_EQ(s["messageBoxes"][0]["text"], "Can't Open UART Device");
    EXPECT_EQ(s["messageBoxes"][0]["type"], 0x30);
    EXPECT_EQ(s["messageBoxes"][1]["text"], "RegisterDeviceNotification Error");
    EXPECT_EQ(s["messageBoxes"][1]["type"], 0);
    EXPECT_EQ(s["messageBoxes"][0]["caption"], "veskosd");
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    const auto start = steady_clock::now();
    EXPECT_TRUE(d.status()["sim"]["controller"]["received"].empty());
    EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
}

TEST(SerialE2E, TheOsdModelOpensNoPort) {
    Daemon d({"--machine", "sim", "--sim-model", "3", "--osd", "headless"});
    auto s = d.status();
    EXPECT_EQ(s["bOSDModel"], 1);
    EXPECT_EQ(s["dwModelID"], 3);
    EXPECT_EQ(s["hUARTDevice"], "INVALID_HANDLE_VALUE");
    EXPECT_TRUE(s["messageBoxes"].empty());
}

}  // namespace
