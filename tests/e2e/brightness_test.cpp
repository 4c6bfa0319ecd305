// Brightness and the HID buttons, as the running daemon shows them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using std::chrono::milliseconds;

nlohmann::json methodsAfterStart(const nlohmann::json& status) {
    const auto& all = status["sim"]["firmware"]["methods"];
    return nlohmann::json(all.begin() + 2, all.end());  // after the model and level queries
}

void writeState(const std::string& file, int32_t count, int32_t save, int32_t value) {
    std::ofstream out(file, std::ios::binary);
    for (const int32_t v : {count, save, value}) {
        for (int i = 0; i < 4; ++i) out.put(static_cast<char>(uint32_t(v) >> (8 * i)));
    }
}

TEST(BrightnessE2E, OnTheLegacyVersionTheSavedLevelIsRestoredThroughFirmwareSteps) {
    e2e::TempDir data;
    const std::string file = data.path() + "/KL04BrightnessLevel.INI";
    writeState(file, 40, 40, 40);
    {
        e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--os-version", "5", "--data-dir",
                       data.path()});
        const auto s = d.status();
        EXPECT_EQ(methodsAfterStart(s),
                  (nlohmann::json{"MXBR", "DEBR", "DEBR", "DEBR", "DEBR", "DEBR", "DEBR"}));
        EXPECT_EQ(s["BRIGHTNESSCount"], 40);
        EXPECT_NE(access(file.c_str(), F_OK), 0);
        // A restore that found a file ignores the panel's notices for the next 5 s.
        ASSERT_EQ(d.client({"sim", "backlight", "set", "60"}).status, 0);
        ASSERT_TRUE(e2e::eventually([&] { return d.status()["dwWmiBrightness"] == 60; }));
        EXPECT_EQ(d.status()["BRIGHTNESSSave"], 40);
    }
    writeState(file, 45, 45, 45);
    e2e::Daemon d(
        {"--machine", "sim", "--osd", "headless", "--os-version", "5", "--data-dir", data.path()});
    auto s = d.status();
    EXPECT_EQ(methodsAfterStart(s), (nlohmann::json{"MXBR"}));
    EXPECT_EQ(s["BRIGHTNESSCount"], 100);
    EXPECT_EQ(s["BRIGHTNESSSave"], 100);
    EXPECT_EQ(s["iValue"], 100);
    EXPECT_NE(access(file.c_str(), F_OK), 0);

    // From 100/100, eleven steps down move the firmware once, at the tenth.
    for (int i = 0; i < 11; ++i) ASSERT_EQ(d.client({"post", "1281", "512", "17"}).status, 0);
    s = d.status();
    EXPECT_EQ(methodsAfterStart(s), (nlohmann::json{"MXBR", "DEBR"}));
    EXPECT_EQ(s["BRIGHTNESSCount"], 89);
    EXPECT_EQ(s["BRIGHTNESSSave"], 90);
    EXPECT_EQ(s["osd"]["alpha"], 192);
}

TEST(BrightnessE2E, AChangeMadeElsewhereIsTakenOverWhenItIsALevelOfTheTable) {
    e2e::Daemon d({"--machine", "sim", "--osd", "headless"});
    ASSERT_EQ(d.client({"sim", "backlight", "set", "40"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["BRIGHTNESSSave"] == 40; }));
    EXPECT_EQ(d.status()["BRIGHTNESSCount"], 40);
    ASSERT_EQ(d.client({"sim", "backlight", "set", "45"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["dwWmiBrightness"] == 45; }));
    EXPECT_EQ(d.status()["BRIGHTNESSSave"], 40);
}

// No firmware, a level list too short to read, and a table of three levels: the panel is never
// given a level past the table, at start, at monitor on, or after a save and restore.
TEST(BrightnessE2E, ThePanelGetsOnlyLevelsTheTableBacks) {
    const std::vector<std::vector<std::string>> machines = {
        {"--sim-no-firmware"}, {"--sim-levels", "1"}, {"--sim-levels", "0,50,100"}};
    for (const auto& machine : machines) {
        const std::string& name = machine.back();
        e2e::TempDir data;
        const std::string file = data.path() + "/KL04BrightnessLevel.INI";
        writeState(file, 40, 40, 0);  // nothing saved: the restore's defaults stand
        std::vector<std::string> args = {"--machine", "sim",        "--osd",
                                         "headless",  "--data-dir", data.path()};
        args.insert(args.end(), machine.begin(), machine.end());
        e2e::Daemon d(args);
        auto monitorOffAndOn = [&] {
            ASSERT_EQ(d.client({"sim", "power", "monitor", "off"}).status, 0);
            ASSERT_TRUE(e2e::eventually([&] { return access(file.c_str(), F_OK) == 0; }));
            ASSERT_EQ(d.client({"sim", "power", "monitor", "on"}).status, 0);
            ASSERT_TRUE(e2e::eventually([&] { return access(file.c_str(), F_OK) != 0; }));
        };
        // The answer to the monitor registration has restored once the file is gone.
        ASSERT_TRUE(e2e::eventually([&] { return access(file.c_str(), F_OK) != 0; })) << name;
        monitorOffAndOn();
        for (int i = 0; i < 40; ++i) ASSERT_EQ(d.client({"post", "1281", "512", "17"}).status, 0);
        monitorOffAndOn();
        const auto s = d.status();
        const auto& sets = s["sim"]["backlight"]["sets"];
        if (name == "0,50,100") {
            EXPECT_EQ(sets, (nlohmann::json{100, 100, 50}));
            EXPECT_EQ(methodsAfterStart(s), nlohmann::json{"DEBR"});
            EXPECT_EQ(s["BRIGHTNESSCount"], 60);
        } else {
            EXPECT_EQ(sets, nlohmann::json::array()) << name;
            if (name == "1") EXPECT_EQ(methodsAfterStart(s), nlohmann::json::array());
        }
    }
}

// Writes cut short by a kill leave their new files; the next start removes those of the state
// files' names, and nothing else.
TEST(StateFilesE2E, StaleNewFilesOfTheStateFilesAreRemovedAtStart) {
    e2e::TempDir data;
    e2e::TempDir elsewhere;
    const std::vector<std::string> stale = {
        "KL04BrightnessLevel.INI.a1B2c3", "KL04BrightnessLevel49.INI.ZZZZZZ",
        "KL04ButtonAction.INI.000000", "KL04OriginalState.INI.qwerty"};
    const std::vector<std::string> kept = {
        "KL04BrightnessLevel.INI.abcde",  "KL04BrightnessLevel.INI.abcdefg",
        "KL04BrightnessLevel.INI.ab-def", "KL04BrightnessLevel50.INI.abcdef",
        "KL04BrightnessLevel.INIXabcdef", "QZConfiguration.xml.abcdef",
        "KL04ButtonAction.INI.DIRDIR",    "KL04OriginalState.INI.LINKED"};
    for (const auto& name : stale) std::ofstream(data.path() + "/" + name) << "x";
    for (const auto& name : kept) {
        if (name.ends_with("DIRDIR")) {
            ASSERT_EQ(mkdir((data.path() + "/" + name).c_str(), 0700), 0);
        } else if (!name.ends_with("LINKED")) {
            std::ofstream(data.path() + "/" + name) << "x";
        }
    }
    const std::string target = elsewhere.path() + "/KL04OriginalState.INI.TARGET";
    std::ofstream(target) << "x";
    ASSERT_EQ(symlink(target.c_str(), (data.path() + "/KL04OriginalState.INI.LINKED").c_str()), 0);

    e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--data-dir", data.path()});
    EXPECT_TRUE(e2e::eventually([&] {
        for (const auto& name : stale) {
            if (access((data.path() + "/" + name).c_str(), F_OK) == 0) return false;
        }
        return true;
    }));
    for (const auto& name : kept) {
        struct stat st {};
        EXPECT_EQ(lstat((data.path() + "/" + name).c_str(), &st), 0) << name;
    }
    EXPECT_EQ(access(target.c_str(), F_OK), 0);
}

TEST(HidE2E, AShortBrightnessPressStepsOnceAndThePanelKeyReachesTheController) {
    e2e::Daemon osd({"--machine", "sim", "--osd", "headless", "--os-version", "5"});
    ASSERT_EQ(osd.client({"sim", "hid", "08", "03"}).status, 0);
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_EQ(osd.client({"sim", "hid", "08", "01"}).status, 0);
    // Released before the repeat's first 500 ms: once the key is let go, one step stands.
    EXPECT_TRUE(e2e::eventually([&] {
        const nlohmann::json s = osd.status();
        return s["dwHIDKeyHeld"] == 0 && s["BRIGHTNESSCount"] == 99;
    })) << osd.status().dump();

    e2e::Daemon controller({"--machine", "sim", "--sim-model", "2"});
    const std::string toggleOff = "02 00 00 01 7E 00 02 0D 00 03";
    const std::string toggleOn = "02 00 00 01 7E 00 02 0D 01 03";
    auto received = [&](const std::string& frame) {
        const nlohmann::json s = controller.status();
        for (const auto& f : s["sim"]["controller"]["received"]) {
            if (f == frame) return true;
        }
        return false;
    };
    ASSERT_EQ(controller.client({"sim", "hid", "08", "02"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return received(toggleOff); }));
    ASSERT_EQ(controller.client({"sim", "hid", "08", "01"}).status, 0);
    ASSERT_EQ(controller.client({"sim", "hid", "08", "02"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return received(toggleOn); }));
}

}  // namespace
