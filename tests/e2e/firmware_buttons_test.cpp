// The firmware channel and the volume buttons' actions, as the running daemon shows them.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/e2e/harness.h"

namespace {

using std::chrono::milliseconds;

TEST(FirmwareE2E, TheModelQueryDecidesTheModelAndAnAbsentDriverIsOneBox) {
    {
        e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--sim-model", "4"});
        const auto s = d.status();
        EXPECT_EQ(s["bOSDModel"], 1);
        EXPECT_EQ(s["dwModelID"], 0);
        EXPECT_EQ(s["sim"]["firmware"]["methods"], (nlohmann::json{"MBID", "QZLV"}));
        EXPECT_EQ(s["dwBCLLevelCount"], 11);
    }
    {
        e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--sim-levels", "97"});
        EXPECT_EQ(d.status()["dwBCLLevelCount"], 0);
    }
    e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--sim-no-firmware"});
    const auto s = d.status();
    ASSERT_EQ(s["messageBoxes"].size(), 1u);
    EXPECT_EQ(s["messageBoxes"][0]["text"], "Can't Open ACPI kernel Mode Driver");
    EXPECT_EQ(s["bOSDModel"], 1);
    EXPECT_EQ(s["dwModelID"], 0);
    EXPECT_EQ(s["dwBCLLevelCount"], 0);
    EXPECT_TRUE(s["sim"]["firmware"]["methods"].empty());
}

TEST(FirmwareE2E, PanelToggleCallsTheFirmwareAndHidCodesArePostedOnBothModels) {
    e2e::Daemon osd({"--machine", "sim", "--osd", "headless", "--verbose"});
    ASSERT_EQ(osd.client({"post", "1281", "512", "162"}).status, 0);
    EXPECT_EQ(osd.status()["sim"]["firmware"]["methods"].back(), "TLCD");

    e2e::Daemon controller({"--machine", "sim", "--sim-model", "2", "--verbose"});
    for (e2e::Daemon* d : {&osd, &controller}) {
        ASSERT_EQ(d->client({"sim", "firmware", "notify", "0xD0"}).status, 0);
        EXPECT_TRUE(e2e::eventually([&] {
            return e2e::occurrences(d->stderrText(), "lParam 166") == 1;
        })) << d->stderrText();
    }
}

// Timing test: a one-second hold of the up button steps at 0 and 500 ms, then every 30 ms: about
// 18 steps. A loaded machine stretches the waits, so only a clear repeat is required, one that
// no single press or slower interval could give, and no more steps than the hold as it really
// lasted (from the press being sent to the release being sent) allows.
TEST(FirmwareE2E, AHeldUpButtonRaisesTheVolumeAboutEighteenSteps) {
    e2e::Daemon d({"--machine", "sim", "--osd", "headless"});
    const int before = d.status()["VolumeCount"].get<int>();
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_EQ(d.client({"sim", "firmware", "press", "up"}).status, 0);
    std::this_thread::sleep_for(milliseconds(1000));
    const auto held =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - pressed);
    ASSERT_EQ(d.client({"sim", "firmware", "release", "up"}).status, 0);
    // Settled for ten repeat intervals: the repeat has stopped.
    const int steps =
        e2e::settled([&] { return d.status()["VolumeCount"].get<int>(); }, milliseconds(300)) -
        before;
    EXPECT_GE(steps, 10);
    // The press, the step at 500 ms, one per 30 ms after it, and one in flight at the release.
    EXPECT_LE(steps, 3 + static_cast<int>((held.count() - 500) / 30)) << held.count() << " ms";
}

TEST(FirmwareE2E, ALaunchButtonStartsItsProgramWithShellQuotedArguments) {
    e2e::TempDir data;
    std::ofstream(data.path() + "/QZConfiguration.xml")
        << "<?xml version=\"1.0\"?>\n<QZSystemConfiguration><Buttons>"
           "<Button Id=\"VolumeMuteButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
           "ActionValue=\"&quot;/path with space/prog&quot; --flag &quot;two words&quot;\"/>"
           "<Button Id=\"VolumeDownButton\" Enabled=\"false\" Action=\"DecreaseVolume\"/>"
           "</Buttons></QZSystemConfiguration>\n";
    e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--data-dir", data.path()});
    const int volume = d.status()["VolumeCount"].get<int>();
    ASSERT_EQ(d.client({"sim", "firmware", "press", "mute"}).status, 0);
    ASSERT_EQ(d.client({"sim", "firmware", "press", "down"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return !d.status()["sim"]["launched"].empty(); }));
    const auto s = d.status();
    EXPECT_EQ(s["sim"]["launched"][0]["argv"],
              (nlohmann::json{"/path with space/prog", "--flag", "two words"}));
    EXPECT_EQ(s["VolumeCount"], volume);  // the disabled down button woke nothing
    EXPECT_EQ(s["fVolumeMute"], 0);
}

TEST(FirmwareE2E, ParametersWithAnUnclosedQuoteLaunchNothingAndAreReported) {
    e2e::TempDir data;
    std::ofstream(data.path() + "/QZConfiguration.xml")
        << "<?xml version=\"1.0\"?>\n<QZSystemConfiguration><Buttons>"
           "<Button Id=\"VolumeMuteButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
           "ActionValue=\"prog --flag &quot;never closed\"/>"
           "</Buttons></QZSystemConfiguration>\n";
    e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--data-dir", data.path()});
    ASSERT_TRUE(d.status()["sim"]["eventLog"].empty());
    ASSERT_EQ(d.client({"sim", "firmware", "press", "mute"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return !d.status()["sim"]["eventLog"].empty(); }));
    const auto s = d.status();
    EXPECT_EQ(s["sim"]["eventLog"][0]["id"], 0xC0020104u);
    EXPECT_EQ(s["sim"]["eventLog"][0]["source"], "VESKOSD");
    const std::string text = s["sim"]["eventLog"][0]["text"];
    EXPECT_NE(text.find("VolumeMuteButton"), std::string::npos) << text;
    EXPECT_NE(text.find("parameters"), std::string::npos) << text;
    EXPECT_TRUE(s["sim"]["launched"].empty());
}

}  // namespace
