// `veskosd key NAME`, the command a desktop's shortcut binding runs: each name is the hot key
// its X11 grab or button action would post.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/harness.h"

namespace {

TEST(KeyE2E, EachNamePostsItsHotKeyAndTheOsdModelActsOnIt) {
    e2e::Daemon d({"--machine", "sim", "--verbose"});
    auto s = d.status();
    const int volume = s["VolumeCount"];
    const int brightness = s["BRIGHTNESSCount"];

    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_EQ(d.client({"key", "volume-down"}).status, 0);
    s = d.status();
    EXPECT_EQ(s["VolumeCount"], volume + 1);
    EXPECT_EQ(s["fVolumeMute"], 0);
    ASSERT_EQ(d.client({"key", "mute"}).status, 0);
    EXPECT_EQ(d.status()["fVolumeMute"], 1);
    // Down first: the simulated panel starts at its top level.
    ASSERT_EQ(d.client({"key", "brightness-down"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["BRIGHTNESSCount"] < brightness; }));
    const int lowered = d.status()["BRIGHTNESSCount"];
    ASSERT_EQ(d.client({"key", "brightness-up"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["BRIGHTNESSCount"] > lowered; }));
    ASSERT_EQ(d.client({"key", "panel"}).status, 0);
    ASSERT_TRUE(e2e::eventually(
        [&] { return d.stderrText().find("LPARAM_TOGGLE_LCD") != std::string::npos; }));

    // The same wParam and lParam as the key grab: the virtual key in the high word.
    const std::string err = d.stderrText();
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 261 lParam 11468800,"), 2u) << err;
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 259 lParam 11403264,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 260 lParam 11337728,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 258 lParam 0,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 257 lParam 0,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 256 lParam 0,"), 1u);
}

TEST(KeyE2E, AnUnknownNameOrNoRunningInstanceIsAnErrorWithAReason) {
    e2e::Daemon d;
    const int volume = d.status()["VolumeCount"];
    for (const char* bad : {"volume", "Volume-Up", "volume-up ", "261", ""}) {
        auto r = d.client({"key", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.err.find("no key named"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("volume-up, volume-down, mute"), std::string::npos) << r.err;
    }
    EXPECT_EQ(d.status()["VolumeCount"], volume);

    e2e::TempDir empty;
    auto r = e2e::runVeskosd({"--runtime-dir", empty.path(), "key", "volume-up"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no veskosd instance answers"), std::string::npos) << r.err;
}

}  // namespace
