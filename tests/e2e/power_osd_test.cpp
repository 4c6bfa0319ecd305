// The OSD model's brightness across monitor power, close and session end, and the direct
// shutdown code, through the real binary.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
namespace fs = std::filesystem;

const char* const kBrightnessFile = "KL04BrightnessLevel.INI";

std::vector<std::string> osdModel(const std::string& dataDir) {
    return {"--machine", "sim", "--osd", "headless", "--data-dir", dataDir};
}

void ok(const Daemon& d, const std::vector<std::string>& args) {
    const auto r = d.client(args);
    ASSERT_EQ(r.status, 0) << r.err;
}

nlohmann::json power(const Daemon& d) {
    return d.status()["sim"]["power"];
}

TEST(PowerOsdE2E, TheFirstMonitorNoticeRestoresAndMonitorOffAndOnSaveAndRestore) {
    e2e::TempDir data;
    const std::string file = data.path() + "/" + kBrightnessFile;
    {
        // 40 %, saved by an earlier run: the answer to the monitor registration takes it back.
        std::ofstream out(file, std::ios::binary);
        const unsigned char bytes[12] = {40, 0, 0, 0, 40, 0, 0, 0, 40, 0, 0, 0};
        out.write(reinterpret_cast<const char*>(bytes), sizeof(bytes));
    }
    Daemon d(osdModel(data.path()));
    ASSERT_TRUE(e2e::eventually([&] { return !fs::exists(file); }));
    EXPECT_EQ(d.status()["BRIGHTNESSCount"], 40);

    ok(d, {"sim", "power", "monitor", "off"});
    ASSERT_TRUE(e2e::eventually([&] { return fs::exists(file); }));
    EXPECT_EQ(fs::file_size(file), 12u);
    ok(d, {"sim", "power", "monitor", "on"});
    ASSERT_TRUE(e2e::eventually([&] { return !fs::exists(file); }));
    EXPECT_EQ(d.status()["BRIGHTNESSCount"], 40);

    // Record 1 was the answer to the registration, long handled: from outside it names nothing.
    ok(d, {"post", "536", "0x8013", "1"});
    EXPECT_EQ(d.status()["pActivePowerScheme"], "balanced");
    EXPECT_FALSE(fs::exists(file));
}

TEST(PowerOsdE2E, CloseSessionEndAndTheEndSignalEachSaveTheBrightness) {
    e2e::TempDir data;
    const std::string file = data.path() + "/" + kBrightnessFile;
    Daemon d(osdModel(data.path()));
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["hMainWnd"] == "VESKOSD"; }));

    ok(d, {"post", "16", "0", "0"});
    d.status();  // answered after the posted message was handled
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(d.running());
    fs::remove(file);

    ok(d, {"sim", "power", "end-session"});
    ASSERT_TRUE(e2e::eventually([&] { return power(d)["sessionEndsHandled"] == 1; }));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(power(d)["calls"], nlohmann::json::array());
    fs::remove(file);

    EXPECT_EQ(d.stop(SIGTERM), 0);
    EXPECT_TRUE(fs::exists(file));
}

TEST(PowerOsdE2E, TheShutdownCodeShutsDownOnlyWithThePrivilege) {
    for (const char* model : {"1", "2"}) {
        Daemon d({"--machine", "sim", "--sim-model", model, "--osd", "headless"});
        ok(d, {"sim", "power", "privilege", "refused"});
        ok(d, {"post", "1281", "512", "169"});
        EXPECT_EQ(power(d)["calls"], nlohmann::json::array()) << model;
        ok(d, {"sim", "power", "privilege", "granted"});
        ok(d, {"post", "1281", "512", "169"});
        EXPECT_EQ(power(d)["calls"], nlohmann::json::array({"shutdown"})) << model;
    }
}

}  // namespace
