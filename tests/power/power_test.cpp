// The blocked-input state, the held-back power actions, the recovery files, the power-setting
// record and the direct shutdown, against a recording power port and simulated audio.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/paths.h"
#include "brightness/levels.h"
#include "brightness/state_file.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"
#include "platform/sim/audio.h"
#include "platform/sim/sim_input.h"
#include "power/power_handling.h"
#include "power/power_setting.h"
#include "power/power_startup.h"
#include "tests/support/lifelong_window.h"

namespace {

namespace fs = std::filesystem;

// Records every call, in order, as one short line.
class FakePower final : public platform::Power {
public:
    void start(std::function<void(platform::PowerNotice)> d) override { deliver = std::move(d); }
    uintptr_t registerPowerSetting(platform::PowerSetting) override { return 0; }
    std::optional<std::string> activeScheme() override {
        calls.push_back("active");
        return scheme;
    }
    bool schemeFunctionsAvailable() override { return available; }
    std::optional<int32_t> readButtonAction(const std::string&, platform::PowerButton b) override {
        return b == platform::PowerButton::Power ? powerAction : sleepAction;
    }
    bool writeButtonAction(const std::string& s, platform::PowerButton b, int32_t v) override {
        calls.push_back(
            std::string(b == platform::PowerButton::Power ? "write power " : "write sleep ") +
            std::to_string(v) + " " + s);
        (b == platform::PowerButton::Power ? powerAction : sleepAction) = v;
        return true;
    }
    bool activateScheme(const std::string& s) override {
        calls.push_back("activate " + s);
        return true;
    }
    void setExecutionState(uint32_t flags) override {
        char b[32];
        std::snprintf(b, sizeof(b), "execution %08X", flags);
        calls.push_back(b);
    }
    bool suspend(bool hibernate) override {
        calls.push_back(hibernate ? "hibernate" : "suspend");
        return true;
    }
    bool enableShutdownPrivilege() override {
        calls.push_back("privilege");
        return privilege;
    }
    void disableShutdownPrivilege() override { calls.push_back("privilege off"); }
    bool powerOff() override {
        calls.push_back("poweroff");
        return true;
    }
    bool shutdown() override {
        calls.push_back("shutdown");
        return true;
    }
    bool cancelShutdown() override {
        calls.push_back("cancel");
        return true;
    }

    std::vector<std::string> calls;
    std::function<void(platform::PowerNotice)> deliver;
    std::optional<std::string> scheme = "balanced";
    bool available = true;
    bool privilege = true;
    std::optional<int32_t> powerAction = 1;
    std::optional<int32_t> sleepAction = 0;
};

// What a part of the calls held: those from `from` on.
std::vector<std::string> since(const std::vector<std::string>& calls, std::size_t from) {
    return {calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end()};
}

std::vector<uint8_t> fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        dispatch::clearHandlers();
        dir = fs::temp_directory_path() /
              ("power-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        setDataFolder(dir.string());
        szButtonActionFile = dataFolderPath() + kButtonActionFileName;
        szOriginalStateFile = dataFolderPath() + kOriginalStateFileName;
        szBrightnessFile = dataFolderPath() + kBrightnessFileName;
        install();
        VolumeCriticalSection.initialize(0x80000400);
        bOSDModel = 0;
        MajorVersion = 6;
        pActivePowerScheme = "balanced";
        registerPowerHandlers();
        window = testsupport::lifelongWindow();
        hMainWnd = window;
    }
    void TearDown() override {
        hMainWnd = nullptr;
        platform::installPorts({});
        resetGlobals();
        fs::remove_all(dir);
    }
    void install() {
        platform::Ports p;
        auto fake = std::make_unique<FakePower>();
        power = fake.get();
        p.power = std::move(fake);
        p.audioEndpoints = audio.makeEndpoints();
        p.mixer = audio.makeMixer();
        auto in = std::make_unique<platform::sim::SimInput>();
        input = in.get();
        p.input = std::move(in);
        platform::installPorts(std::move(p));
    }
    bool spdifMuted() {
        return audio.with([](platform::sim::SimAudioState& s) { return s.endpoints[2].muted; });
    }
    void setSpdifMuted(bool m) {
        audio.with([m](platform::sim::SimAudioState& s) { return s.endpoints[2].muted = m; });
    }
    void post(base::LPARAM code) {
        dispatch::handleMessage(WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, code);
    }

    fs::path dir;
    platform::sim::SimAudio audio;
    FakePower* power = nullptr;
    platform::sim::SimInput* input = nullptr;
    CVESKOSDDlg* window = nullptr;
};

TEST_F(PowerTest, DisableSavesAndBlocksOnceAndEnableRestoresEverythingOnce) {
    setSpdifMuted(true);
    post(LPARAM_DISABLE_HID);
    EXPECT_EQ(power->calls,
              (std::vector<std::string>{"execution 80000003", "write power 3 balanced",
                                        "write sleep 0 balanced", "activate balanced"}));
    EXPECT_EQ(bHIDEnabled, 0);
    EXPECT_EQ(input->status()["blocking"], true);
    EXPECT_FALSE(spdifMuted());
    EXPECT_EQ(fOriginalState, 1);
    EXPECT_EQ(fileBytes(szButtonActionFile), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fileBytes(szOriginalStateFile), (std::vector<uint8_t>{1, 0, 0, 0}));

    // A second disable must not read the blocked values back as the originals.
    const std::size_t before = power->calls.size();
    post(LPARAM_DISABLE_HID);
    EXPECT_EQ(power->calls.size(), before);
    EXPECT_EQ(dwPowerButtonAction, 1);

    SetHIDEnabled(1);
    EXPECT_EQ(since(power->calls, before),
              (std::vector<std::string>{"execution 80000000", "write power 1 balanced",
                                        "write sleep 0 balanced", "activate balanced"}));
    EXPECT_TRUE(spdifMuted());
    EXPECT_EQ(bHIDEnabled, 1);
    EXPECT_EQ(input->status()["blocking"], false);
    EXPECT_EQ(dwPowerButtonAction, -1);
    EXPECT_EQ(dwSleepButtonAction, -1);
    EXPECT_FALSE(fs::exists(szButtonActionFile));
    EXPECT_FALSE(fs::exists(szOriginalStateFile));

    const std::size_t after = power->calls.size();
    SetHIDEnabled(1);
    EXPECT_EQ(power->calls.size(), after);
}

TEST_F(PowerTest, TheHeldBackActionFollowsTheSavedActionOfTheKeyThatWasPressed) {
    struct Case {
        bool shutdown, sleep;
        int32_t powerAction, sleepAction;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {true, false, 1, 0, {"suspend"}},
        {true, false, 2, 0, {"hibernate"}},
        {true, false, 3, 0, {"privilege", "poweroff"}},
        {true, false, 0, 1, {}},
        {false, true, 0, 1, {"suspend"}},
        {false, true, 0, 2, {"hibernate"}},
        {false, true, 3, 3, {}},  // a sleep key never shuts down
        {true, true, 2, 1, {"hibernate"}},
        {false, false, 1, 1, {}},
    };
    for (const Case& c : cases) {
        power->powerAction = c.powerAction;
        power->sleepAction = c.sleepAction;
        SetHIDEnabled(0);
        bShutdownPending = c.shutdown ? 1 : 0;
        bSleepPending = c.sleep ? 1 : 0;
        const std::size_t before = power->calls.size() + 4;  // execution, writes, activate
        SetHIDEnabled(1);
        EXPECT_EQ(since(power->calls, before), c.expected)
            << c.shutdown << c.sleep << c.powerAction << c.sleepAction;
        // The settings are back before the machine sleeps or goes off.
        EXPECT_EQ(power->powerAction, c.powerAction);
        EXPECT_EQ(bShutdownPending, 0);
        EXPECT_EQ(bSleepPending, 0);
    }
}

TEST_F(PowerTest, WithoutTheSchemeFunctionsNothingIsBlockedOrWritten) {
    power->available = false;
    post(LPARAM_DISABLE_HID);
    EXPECT_EQ(bHIDEnabled, 1);
    EXPECT_TRUE(power->calls.empty());
    EXPECT_FALSE(fs::exists(szButtonActionFile));
    EXPECT_FALSE(fs::exists(szOriginalStateFile));
}

TEST_F(PowerTest, OnTheMixerPathTheMuteStateIsLeftAloneAndItsFileKept) {
    MajorVersion = 5;
    setSpdifMuted(true);
    fOriginalState = 0;
    SetHIDEnabled(0);
    EXPECT_TRUE(spdifMuted());
    EXPECT_EQ(fileBytes(szOriginalStateFile), (std::vector<uint8_t>{0, 0, 0, 0}));
    SetHIDEnabled(1);
    EXPECT_TRUE(spdifMuted());
    EXPECT_TRUE(fs::exists(szOriginalStateFile));
    EXPECT_FALSE(fs::exists(szButtonActionFile));

    // The next start finds it, cannot use it either, and leaves it; one with an endpoint can.
    writeBytes(szOriginalStateFile, {0, 0, 0, 0});
    RestoreBlockedHidState();
    EXPECT_TRUE(fs::exists(szOriginalStateFile));
    EXPECT_TRUE(spdifMuted());
    MajorVersion = 6;
    RestoreBlockedHidState();
    EXPECT_FALSE(fs::exists(szOriginalStateFile));
    EXPECT_FALSE(spdifMuted());
}

TEST_F(PowerTest, RecoveryPutsTheSavedActionsBackAndDeletesTheFiles) {
    writeBytes(szButtonActionFile, {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    writeBytes(szOriginalStateFile, {1, 0, 0, 0});
    RestoreBlockedHidState();
    EXPECT_EQ(power->calls,
              (std::vector<std::string>{"write power 2 balanced", "write sleep -1 balanced",
                                        "activate balanced"}));
    EXPECT_EQ(dwPowerButtonAction, -1);
    EXPECT_EQ(dwSleepButtonAction, -1);
    EXPECT_TRUE(spdifMuted());
    EXPECT_FALSE(fs::exists(szButtonActionFile));
    EXPECT_FALSE(fs::exists(szOriginalStateFile));

    // Files of another size mean nothing: nothing is written from them, and they go.
    power->calls.clear();
    writeBytes(szButtonActionFile, {3, 0, 0, 0});
    writeBytes(szOriginalStateFile, {0, 0, 0, 0, 0});
    RestoreBlockedHidState();
    EXPECT_TRUE(power->calls.empty());
    EXPECT_TRUE(spdifMuted());
    EXPECT_FALSE(fs::exists(szButtonActionFile));
    EXPECT_FALSE(fs::exists(szOriginalStateFile));
}

// Anyone who can write the data folder can plant these: a value out of range makes a file as
// meaningless as one of the wrong size, with one line to the journal.
TEST_F(PowerTest, RecoveryFilesWithValuesOutOfRangeAreDiscardedWithOneLineEach) {
    auto le = [](int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        return std::vector<uint8_t>{static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                                    static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
    };
    auto concat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    for (const int32_t v : {INT32_MIN, INT32_MAX, static_cast<int32_t>(0x80000000u), -2, 4}) {
        for (const bool first : {true, false}) {
            writeBytes(szButtonActionFile, first ? concat(le(v), le(0)) : concat(le(3), le(v)));
            writeBytes(szOriginalStateFile, le(v == 4 ? 2 : v));
            setSpdifMuted(false);
            power->calls.clear();
            testing::internal::CaptureStderr();
            RestoreBlockedHidState();
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << v << err;
            EXPECT_TRUE(power->calls.empty()) << v;
            EXPECT_FALSE(spdifMuted()) << v;
            EXPECT_EQ(dwPowerButtonAction, -1);
            EXPECT_FALSE(fs::exists(szButtonActionFile)) << v;
            EXPECT_FALSE(fs::exists(szOriginalStateFile)) << v;
        }
    }
}

TEST_F(PowerTest, TheSettingRecordHasTheGuidInMemoryOrderAndTheDataAtOffset20) {
    const auto r = makePowerSettingRecord(GUID_MONITOR_POWER_ON, 1);
    EXPECT_EQ(r, (std::vector<uint8_t>{0x15, 0x10, 0x73, 0x02, 0x10, 0x45, 0x26, 0x45,
                                       0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA,
                                       4,    0,    0,    0,    1,    0,    0,    0}));
    const auto back = readPowerSettingRecord(r);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->PowerSetting, GUID_MONITOR_POWER_ON);
    EXPECT_EQ(back->Data, 1u);
    EXPECT_FALSE(readPowerSettingRecord(std::span(r).first(23)));
    auto noData = r;
    noData[16] = 0;
    EXPECT_FALSE(readPowerSettingRecord(noData));
}

TEST_F(PowerTest, MonitorNoticesSaveAndRestoreTheBrightnessOnTheOsdModelOnly) {
    bOSDModel = 1;
    BRIGHTNESSCount = 40;
    BRIGHTNESSSave = 40;
    iValue = 40;
    auto notice = [](const GUID& g, uint32_t data) {
        return dispatch::handleMessage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                                       storePowerSettingRecord(makePowerSettingRecord(g, data)));
    };
    notice(GUID_MONITOR_POWER_ON, 2);
    EXPECT_FALSE(fs::exists(szBrightnessFile));
    notice(GUID_MONITOR_POWER_ON, 0);
    EXPECT_EQ(fileBytes(szBrightnessFile).size(), kBrightnessFileSize);
    notice(GUID_MONITOR_POWER_ON, 1);
    EXPECT_FALSE(fs::exists(szBrightnessFile));
    EXPECT_EQ(BRIGHTNESSCount, 40);

    // A number posted from outside names no record, and another wParam is not a setting change.
    const int64_t kept = storePowerSettingRecord(makePowerSettingRecord(GUID_MONITOR_POWER_ON, 0));
    dispatch::handleMessage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, kept + 1);
    dispatch::handleMessage(WM_POWERBROADCAST, 0x8012, kept);
    EXPECT_FALSE(fs::exists(szBrightnessFile));
    dispatch::handleMessage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, kept);
    EXPECT_TRUE(fs::exists(szBrightnessFile));
    fs::remove(szBrightnessFile);

    // The scheme is read again on a personality change; the other model ignores both notices.
    power->scheme = "other";
    notice(GUID_POWERSCHEME_PERSONALITY, 0);
    EXPECT_EQ(pActivePowerScheme, "other");
    bOSDModel = 0;
    power->scheme = "third";
    notice(GUID_POWERSCHEME_PERSONALITY, 0);
    notice(GUID_MONITOR_POWER_ON, 0);
    EXPECT_EQ(pActivePowerScheme, "other");
    EXPECT_FALSE(fs::exists(szBrightnessFile));
}

TEST_F(PowerTest, SessionEndWhileBlockedIsRefusedAndShutdownNeedsThePrivilege) {
    dispatch::handleMessage(WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(bShutdownPending, 0);
    EXPECT_TRUE(power->calls.empty());
    SetHIDEnabled(0);
    dispatch::handleMessage(WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(bShutdownPending, 1);
    EXPECT_EQ(power->calls.back(), "cancel");

    power->calls.clear();
    power->privilege = false;
    EXPECT_EQ(ShutdownSystem(), 0);
    EXPECT_EQ(power->calls, (std::vector<std::string>{"privilege"}));
    power->calls.clear();
    power->privilege = true;
    post(LPARAM_SYSTEM_SHUTDOWN);
    EXPECT_EQ(power->calls, (std::vector<std::string>{"privilege", "shutdown", "privilege off"}));
}

}  // namespace
