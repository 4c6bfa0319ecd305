// The display-controller model's blocked-input state through the real binary: entered and left
// by the firmware's notify codes, with the held-back power actions and the recovery files.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
namespace fs = std::filesystem;

const char* const kMediaSelectFrame = "02 00 00 01 7E 00 02 05 FF 03";
const char* const kButtonActionFile = "KL04ButtonAction.INI";
const char* const kOriginalStateFile = "KL04OriginalState.INI";

std::vector<std::string> modelTwo(const std::string& dataDir, std::vector<std::string> more = {}) {
    std::vector<std::string> a = {"--machine", "sim",       "--sim-model", "2",    "--osd",
                                  "headless",  "--verbose", "--data-dir",  dataDir};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

std::vector<uint8_t> fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t mediaSelectFrames(const Daemon& d) {
    const nlohmann::json received = d.status()["sim"]["controller"]["received"];
    std::size_t n = 0;
    for (const auto& f : received) n += f == kMediaSelectFrame ? 1 : 0;
    return n;
}

nlohmann::json power(const Daemon& d) {
    return d.status()["sim"]["power"];
}

bool spdifMuted(const Daemon& d) {
    return d.status()["sim"]["audio"]["endpoints"][2]["muted"];
}

void ok(const Daemon& d, const std::vector<std::string>& args) {
    const auto r = d.client(args);
    ASSERT_EQ(r.status, 0) << r.err;
}

// The simulated audio's verbs reach the default output only: S/PDIF is the third endpoint.
void muteSpdif(const Daemon& d) {
    ok(d, {"sim", "audio", "default", "2"});
    ok(d, {"sim", "audio", "mute", "1"});
    ok(d, {"sim", "audio", "default", "0"});
}

bool swallowed(const Daemon& d, const std::string& key) {
    const auto r = d.client({"sim", "key", key, "down"});
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out, nullptr, false).value("swallowed", false);
}

void block(const Daemon& d) {
    ok(d, {"sim", "firmware", "notify", "0xD0"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["bHIDEnabled"] == 0; })) << d.stderrText();
}

void unblock(const Daemon& d) {
    ok(d, {"sim", "firmware", "notify", "0xD1"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["bHIDEnabled"] == 1; })) << d.stderrText();
}

TEST(PowerBlockedE2E, TheFirmwareBlocksOnceAndGivesEverythingBack) {
    e2e::TempDir data;
    Daemon d(modelTwo(data.path()));
    ok(d, {"sim", "power", "actions", "1", "0"});
    muteSpdif(d);

    block(d);
    auto s = d.status();
    EXPECT_EQ(s["sim"]["input"]["blocking"], true);
    EXPECT_EQ(s["fOriginalState"], 1);
    EXPECT_FALSE(spdifMuted(d));
    EXPECT_EQ(s["sim"]["power"]["executionState"], 0x80000003u);
    EXPECT_EQ(s["sim"]["power"]["powerButtonAction"], 3);
    EXPECT_EQ(s["sim"]["power"]["sleepButtonAction"], 0);
    EXPECT_EQ(fileBytes(data.path() + "/" + kButtonActionFile),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fileBytes(data.path() + "/" + kOriginalStateFile),
              (std::vector<uint8_t>{1, 0, 0, 0}));
    // Keyboard and mouse are swallowed; the volume keys still reach the program.
    EXPECT_TRUE(swallowed(d, "a"));
    EXPECT_FALSE(swallowed(d, "XF86AudioRaiseVolume"));

    // A second disable would take the unmuted output for the original state.
    ok(d, {"sim", "firmware", "notify", "0xD0"});
    ASSERT_TRUE(
        e2e::eventually([&] { return e2e::occurrences(d.stderrText(), "lParam 166") == 2; }));
    EXPECT_EQ(d.status()["fOriginalState"], 1);
    EXPECT_EQ(d.status()["dwPowerButtonAction"], 1);

    unblock(d);
    s = d.status();
    EXPECT_EQ(s["sim"]["input"]["blocking"], false);
    EXPECT_TRUE(spdifMuted(d));
    EXPECT_EQ(s["sim"]["power"]["executionState"], 0x80000000u);
    EXPECT_EQ(s["sim"]["power"]["powerButtonAction"], 1);
    EXPECT_EQ(s["sim"]["power"]["sleepButtonAction"], 0);
    EXPECT_EQ(s["sim"]["power"]["calls"], nlohmann::json::array());
    EXPECT_EQ(mediaSelectFrames(d), 1u);
    EXPECT_FALSE(fs::exists(data.path() + "/" + kButtonActionFile));
    EXPECT_FALSE(fs::exists(data.path() + "/" + kOriginalStateFile));
}

TEST(PowerBlockedE2E, ASessionEndWhileBlockedIsHeldBackAndCarriedOutOnEnable) {
    e2e::TempDir data;
    Daemon d(modelTwo(data.path()));
    ok(d, {"sim", "power", "actions", "1", "0"});
    block(d);
    ok(d, {"sim", "power", "end-session"});
    ASSERT_TRUE(e2e::eventually([&] { return power(d)["sessionEndsHandled"] == 1; }));
    EXPECT_EQ(d.status()["bShutdownPending"], 1);
    EXPECT_EQ(power(d)["calls"], nlohmann::json::array({"cancel-shutdown"}));
    EXPECT_EQ(mediaSelectFrames(d), 1u);

    // The settings come back first, then the machine sleeps; no second media-select frame.
    unblock(d);
    EXPECT_EQ(power(d)["calls"], nlohmann::json::array({"cancel-shutdown", "suspend"}));
    EXPECT_EQ(power(d)["powerButtonAction"], 1);
    EXPECT_EQ(d.status()["bShutdownPending"], 0);
    EXPECT_EQ(mediaSelectFrames(d), 1u);

    // A saved power action of 3 with a pending shutdown powers off.
    ok(d, {"sim", "power", "actions", "3", "0"});
    block(d);
    ok(d, {"sim", "power", "end-session"});
    ASSERT_TRUE(e2e::eventually([&] { return power(d)["sessionEndsHandled"] == 2; }));
    unblock(d);
    EXPECT_EQ(power(d)["calls"].back(), "poweroff");
}

TEST(PowerBlockedE2E, ASleepKeyWhileBlockedWithSavedActionThreeLeadsToNothing) {
    e2e::TempDir data;
    Daemon d(modelTwo(data.path()));
    ok(d, {"sim", "power", "actions", "0", "3"});
    // While enabled the sleep and media-select codes do nothing.
    ok(d, {"post", "1281", "512", "168"});
    ok(d, {"post", "1281", "512", "164"});
    EXPECT_EQ(d.status()["bSleepPending"], 0);
    EXPECT_EQ(mediaSelectFrames(d), 0u);

    block(d);
    ok(d, {"post", "1281", "512", "168"});
    EXPECT_EQ(d.status()["bSleepPending"], 1);
    EXPECT_EQ(mediaSelectFrames(d), 1u);
    unblock(d);
    EXPECT_EQ(power(d)["calls"], nlohmann::json::array());
    EXPECT_EQ(power(d)["sleepButtonAction"], 3);
    EXPECT_EQ(mediaSelectFrames(d), 1u);
}

TEST(PowerBlockedE2E, ARunKilledWhileBlockedIsUndoneAtTheNextStart) {
    e2e::TempDir data;
    const std::string actionFile = data.path() + "/" + kButtonActionFile;
    const std::string stateFile = data.path() + "/" + kOriginalStateFile;
    {
        Daemon d(modelTwo(data.path()));
        ok(d, {"sim", "power", "actions", "2", "1"});
        muteSpdif(d);
        block(d);
        d.stop(SIGKILL);
    }
    ASSERT_TRUE(fs::exists(actionFile));
    ASSERT_TRUE(fs::exists(stateFile));
    {
        // The fresh machine has its own scheme (3, 1) and an unmuted S/PDIF output.
        Daemon d(modelTwo(data.path()));
        EXPECT_EQ(power(d)["powerButtonAction"], 2);
        EXPECT_EQ(power(d)["sleepButtonAction"], 1);
        EXPECT_TRUE(spdifMuted(d));
        EXPECT_EQ(d.status()["bHIDEnabled"], 1);
        EXPECT_EQ(d.status()["dwPowerButtonAction"], -1);
        EXPECT_FALSE(fs::exists(actionFile));
        EXPECT_FALSE(fs::exists(stateFile));
        block(d);
        d.stop(SIGKILL);
    }
    {
        // The mixer path has no S/PDIF endpoint: the mute file waits for a start that has one.
        Daemon d(modelTwo(data.path(), {"--os-version", "5"}));
        EXPECT_EQ(power(d)["powerButtonAction"], 2);
        EXPECT_FALSE(fs::exists(actionFile));
        EXPECT_TRUE(fs::exists(stateFile));
    }
}

}  // namespace
