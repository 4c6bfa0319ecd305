// The first complete path on the real stack: a media key pressed on an X server changes the
// volume of a real pulseaudio sink and shows, then fades, the OSD.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "tests/e2e/harness.h"
#include "tests/support/process.h"
#include "tests/support/pulse_server.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono;

TEST(HotKeyE2E, AVolumeKeyRaisesTheSinkShowsTheNewLevelAndFades) {
    testsupport::PulseServer pulse;
    testsupport::Xvfb xvfb;
    pulse.pactl("set-sink-volume spk 57%");
    e2e::TempDir data;
    e2e::Daemon d(
        {"--machine", "linux", "--data-dir", data.path(), "--serial", "/nonexistent/tty"});
    auto s = d.status();
    ASSERT_EQ(s["MajorVersion"], 6);
    ASSERT_EQ(s["VolumeCount"], 57);
    // No firmware driver configured here (only said in the log) and the OSD model opens no
    // serial line: no box.
    EXPECT_TRUE(s["messageBoxes"].empty());

    int status = -1;
    testsupport::run({"xdotool", "key", "XF86AudioRaiseVolume"}, &status);
    ASSERT_EQ(status, 0);
    const auto pressed = steady_clock::now();
    for (int i = 0; i < 100 && pulse.volumePercent("spk") != 58; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(pulse.volumePercent("spk"), 58);
    s = d.status();
    EXPECT_EQ(s["VolumeCount"], 58);
    EXPECT_EQ(s["osd"]["painted"]["text"], "58");
    EXPECT_EQ(s["osd"]["alpha"], 192);
    EXPECT_TRUE(testsupport::windowViewable("VESKOSD"));
    // On screen: the bar filled to 58 % and the number in white at the right.
    const uint32_t bar = testsupport::rootPixel(595 + 1 + 40 + 300, 960 + 1 + 13);
    EXPECT_GT(bar & 0xFF, ((bar >> 16) & 0xFF) + 20);
    int white = 0;
    for (int y = 962; y < 988; ++y) {
        for (int x = 595 + 729 - 34; x < 595 + 728; x += 1) {
            white += testsupport::rootPixel(x, y) == 0xFFFFFF;
        }
    }
    EXPECT_GT(white, 10);

    std::this_thread::sleep_until(pressed + milliseconds(3500));
    EXPECT_FALSE(testsupport::windowViewable("VESKOSD"));
    EXPECT_EQ(d.status()["osd"]["alpha"], 0);
}

// Polls `done` until it holds or `ms` have passed.
// The X server dies under the daemon: a volume key still goes through and the socket still
// answers; a new server on the same display gets the grabs and the OSD window again.
TEST(HotKeyE2E, TheDaemonOutlivesItsXServerAndTakesUpTheNextOne) {
    testsupport::PulseServer pulse;
    testsupport::Xvfb xvfb;
    pulse.pactl("set-sink-volume spk 40%");
    e2e::TempDir data;
    e2e::Daemon d(
        {"--machine", "linux", "--data-dir", data.path(), "--serial", "/nonexistent/tty"});
    ASSERT_EQ(d.status()["VolumeCount"], 40);

    xvfb.kill();
    ASSERT_EQ(d.client({"post", "786", "261", "0"}).status, 0);
    auto s = d.status();
    EXPECT_EQ(s["VolumeCount"], 41);
    EXPECT_EQ(pulse.volumePercent("spk"), 41);
    ASSERT_EQ(d.client({"post", "786", "261", "0"}).status, 0);
    EXPECT_EQ(d.status()["VolumeCount"], 42);
    EXPECT_EQ(e2e::occurrences(d.stderrText(), "X server connection was lost"), 1u)
        << d.stderrText();

    xvfb.restart();
    ASSERT_TRUE(e2e::eventually(
        [&] { return e2e::occurrences(d.stderrText(), "X server answers again") == 1; },
        milliseconds(5000)))
        << d.stderrText();
    int status = -1;
    testsupport::run({"xdotool", "key", "XF86AudioRaiseVolume"}, &status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(
        e2e::eventually([&] { return pulse.volumePercent("spk") == 43; }, milliseconds(2000)));
    EXPECT_TRUE(
        e2e::eventually([] { return testsupport::windowViewable("VESKOSD"); }, milliseconds(900)));
    EXPECT_EQ(d.status()["osd"]["alpha"], 192);
    EXPECT_TRUE(d.running());
}

TEST(HotKeyE2E, AHotKeyPostedByAnotherProcessDoesTheSame) {
    testsupport::PulseServer pulse;
    pulse.pactl("set-sink-volume spk 40%");
    e2e::TempDir data;
    e2e::Daemon d({"--machine", "linux", "--osd", "headless", "--data-dir", data.path()});
    ASSERT_EQ(d.client({"post", "786", "261", "0"}).status, 0);
    d.status();
    EXPECT_EQ(pulse.volumePercent("spk"), 41);
    ASSERT_EQ(d.client({"post", "786", "260", "0"}).status, 0);
    d.status();
    EXPECT_TRUE(pulse.muted("spk"));
}

TEST(HotKeyE2E, OnTheControllerModelTheKeyEndsInAVolumeFrame) {
    e2e::Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless"});
    auto r = d.client({"sim", "key", "XF86AudioLowerVolume", "down"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto s = d.status();
    EXPECT_EQ(s["VolumeCount"], 49);
    EXPECT_EQ(s["sim"]["controller"]["received"].back(), "02 00 00 01 7E 00 02 02 31 03");
    // The hook tapped Control for the key, and the hot key did once more.
    EXPECT_EQ(s["sim"]["injected"],
              (nlohmann::json{"Control_R down", "Control_R up", "Control_R down", "Control_R up"}));
    EXPECT_EQ(s["osd"]["alpha"], 0);
}

TEST(HotKeyE2E, SimulatedKeysPassThroughTheHooksOfTheOsdModel) {
    e2e::Daemon d({"--machine", "sim", "--osd", "headless"});
    auto r = d.client({"sim", "key", "a", "down"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"swallowed\": false"), std::string::npos) << r.out;
    auto bad = d.client({"sim", "key", "NoSuchKey", "down"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("unknown keysym"), std::string::npos);
    EXPECT_EQ(d.client({"sim", "key", "XF86AudioMute", "down"}).status, 0);
    auto s = d.status();
    EXPECT_EQ(s["fVolumeMute"], 1);
    EXPECT_EQ(s["osd"]["painted"]["images"][0]["resource"], "IDR_VOLUME_M");
}

}  // namespace
