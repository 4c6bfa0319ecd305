#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "app/globals.h"
#include "app/paths.h"
#include "base/thread.h"
#include "brightness/levels.h"
#include "brightness/state_file.h"
#include "brightness/wmi_brightness.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "input/acpi_channel.h"
#include "input/hot_keys.h"
#include "osd/osd_window.h"
#include "platform/ports.h"
#include "platform/sim/backlight.h"
#include "platform/sim/firmware.h"
#include "tests/support/lifelong_window.h"

namespace {

namespace fs = std::filesystem;

class DimInfo final : public platform::PlatformInfo {
public:
    uint32_t majorVersion() override { return 6; }
    uint32_t displayDimTimeoutSeconds() override { return dimSeconds; }
    uint32_t dimSeconds = 0;
};

class BrightnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        dispatch::clearHandlers();
        dir = fs::temp_directory_path() /
              ("brightness-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        setDataFolder(dir.string());
        firmware = std::make_shared<platform::sim::SimFirmware>(platform::sim::FirmwareOptions{});
        platform::Ports p;
        p.acpiDrivers = std::make_unique<platform::sim::SimAcpiDrivers>(firmware);
        auto panel = std::make_unique<platform::sim::SimBacklight>();
        backlight = panel.get();
        p.monitorBrightness = std::move(panel);
        auto i = std::make_unique<DimInfo>();
        info = i.get();
        p.info = std::move(i);
        platform::installPorts(std::move(p));
        window = testsupport::lifelongWindow();
        hMainWnd = window;
        OpenAcpiChannel();
        CreateBrightnessNoChangeEvent();
        base::resetEvent(hBritNoChangedEvent.load());
        registerOsdHandlers();
        registerBrightnessHandlers();
        ChooseBrightnessFileName();
        methodsBefore = firmware->status()["methods"].size();
    }
    void TearDown() override {
        hMainWnd = nullptr;
        platform::installPorts({});
        resetGlobals();
        fs::remove_all(dir);
    }
    // Firmware methods called since the set-up.
    std::vector<std::string> methods() const {
        const auto all = firmware->status()["methods"];
        return {all.begin() + static_cast<std::ptrdiff_t>(methodsBefore), all.end()};
    }
    void post(base::LPARAM code) {
        dispatch::handleMessage(WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, code);
    }
    void writeState(std::vector<uint8_t> bytes) {
        std::ofstream(szBrightnessFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    // The table as the firmware would have given it.
    static void setTable(const std::vector<uint8_t>& levels) {
        BrightnessBCLLevel.fill(0);
        std::copy(levels.begin(), levels.end(), BrightnessBCLLevel.begin());
        dwBCLLevelCount = static_cast<uint32_t>(levels.size());
    }
    nlohmann::json sets() const { return backlight->status()["sets"]; }
    static std::vector<uint8_t> state(int32_t count, int32_t save, int32_t value) {
        std::vector<uint8_t> b;
        for (const int32_t v : {count, save, value}) {
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(uint32_t(v) >> (8 * i)));
        }
        return b;
    }

    fs::path dir;
    std::shared_ptr<platform::sim::SimFirmware> firmware;
    platform::sim::SimBacklight* backlight = nullptr;
    DimInfo* info = nullptr;
    CVESKOSDDlg* window = nullptr;
    std::size_t methodsBefore = 0;
};

TEST_F(BrightnessTest, StepsMoveTheCounterByOneAndTheFirmwareEveryTen) {
    BRIGHTNESSCount = 100;
    BRIGHTNESSSave = 100;
    for (int i = 0; i < 11; ++i) post(LPARAM_DEBR);
    EXPECT_EQ(methods(), std::vector<std::string>{"DEBR"});
    EXPECT_EQ(BRIGHTNESSCount.load(), 89);
    EXPECT_EQ(BRIGHTNESSSave.load(), 90);
    EXPECT_EQ(iValue.load(), 90);  // entry 9 of the simulated table
    EXPECT_EQ(szBRIGHTNESSCount, "89");
    EXPECT_EQ(platform::ports().osdSurface->alpha(), 192);

    for (int i = 0; i < 11; ++i) post(LPARAM_INBR);
    EXPECT_EQ(methods(), (std::vector<std::string>{"DEBR", "INBR"}));
    EXPECT_EQ(BRIGHTNESSCount.load(), 100);
    EXPECT_EQ(BRIGHTNESSSave.load(), 100);

    // At the top nothing moves and nothing is called, but the OSD still shows.
    platform::ports().osdSurface->setAlpha(0);
    post(LPARAM_INBR);
    EXPECT_EQ(BRIGHTNESSCount.load(), 100);
    EXPECT_EQ(methods().size(), 2u);
    EXPECT_EQ(platform::ports().osdSurface->alpha(), 192);

    BRIGHTNESSCount = 0;
    BRIGHTNESSSave = 0;
    post(LPARAM_DEBR);
    EXPECT_EQ(BRIGHTNESSCount.load(), 0);
}

TEST_F(BrightnessTest, StartRestoreStepsDownFromTheMaximumAndDeletesTheFile) {
    writeState(state(40, 40, 40));
    RestoreBrightnessAtStart();
    EXPECT_EQ(methods(),
              (std::vector<std::string>{"MXBR", "DEBR", "DEBR", "DEBR", "DEBR", "DEBR", "DEBR"}));
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
    EXPECT_TRUE(base::isSignalled(hBritNoChangedEvent.load()));
    EXPECT_FALSE(fs::exists(szBrightnessFile));

    for (const auto& bad : {state(45, 45, 45), state(-10, -10, 1), state(40, 40, 0)}) {
        methodsBefore = firmware->status()["methods"].size();
        writeState(bad);
        RestoreBrightnessAtStart();
        EXPECT_EQ(methods(), std::vector<std::string>{"MXBR"});
        EXPECT_EQ(BRIGHTNESSCount.load(), 100);
        EXPECT_EQ(BRIGHTNESSSave.load(), 100);
        EXPECT_EQ(iValue.load(), 100);
        EXPECT_FALSE(fs::exists(szBrightnessFile));
    }
}

TEST_F(BrightnessTest, SaveThenRestoreCarriesTheStateAndLeavesNoFile) {
    bOSDModel = 1;
    BRIGHTNESSCount = 37;
    BRIGHTNESSSave = 40;
    iValue = 40;
    SaveBrightnessState();
    struct stat st {};
    ASSERT_EQ(stat(szBrightnessFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 12);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);

    BRIGHTNESSCount = 0;
    RestoreBrightnessState();
    EXPECT_EQ(BRIGHTNESSCount.load(), 37);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
    EXPECT_EQ(backlight->status()["sets"].back(), 40);
    EXPECT_TRUE(base::isSignalled(hBritNoChangedEvent.load()));
    EXPECT_FALSE(fs::exists(szBrightnessFile));
}

TEST_F(BrightnessTest, RestoreWithoutAUsableFileTakesTheModelsDefault) {
    dwModelID = 3;
    RestoreBrightnessState();
    EXPECT_EQ(BRIGHTNESSCount.load(), 60);
    EXPECT_EQ(BRIGHTNESSSave.load(), 60);
    EXPECT_EQ(backlight->status()["sets"].back(), 60);
    EXPECT_FALSE(base::isSignalled(hBritNoChangedEvent.load()));

    // A file of the wrong size opened, so it suppresses and hides, but its bytes mean nothing.
    for (const std::size_t size : {11u, 13u}) {
        dwModelID = 1;
        auto bytes = state(30, 30, 30);
        bytes.resize(size, 0);
        writeState(bytes);
        platform::ports().osdSurface->setAlpha(192);
        RestoreBrightnessState();
        EXPECT_EQ(BRIGHTNESSCount.load(), 100) << size;
        EXPECT_EQ(platform::ports().osdSurface->alpha(), 0);
        EXPECT_TRUE(base::isSignalled(hBritNoChangedEvent.load()));
        EXPECT_FALSE(fs::exists(szBrightnessFile));
        base::resetEvent(hBritNoChangedEvent.load());
    }
}

TEST_F(BrightnessTest, OutsideChangesAreTakenOverOnlyWhenNotSuppressedDimmedOrUnknown) {
    bOSDModel = 1;
    dwLastInputTick = base::getTickCount();
    dwWmiBrightness = 40;  // entry 4
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSCount.load(), 40);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
    EXPECT_EQ(iValue.load(), 40);

    dwWmiBrightness = 45;  // not a level of the table
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);

    dwWmiBrightness = 70;
    base::setEvent(hBritNoChangedEvent.load());
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
    base::resetEvent(hBritNoChangedEvent.load());

    // Sixty seconds without input with a 60 s dim time-out: the system dimmed, not the user.
    info->dimSeconds = 60;
    dwLastInputTick = base::getTickCount() - 60000;
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
    EXPECT_EQ(dwPowerSaveTimeout.load(), 0u);
    dwLastInputTick = base::getTickCount() - 59000;
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSSave.load(), 70);

    // One level cannot be a percentage: ignored like none.
    dwBCLLevelCount = 1;
    dwWmiBrightness = 0;
    post(LPARAM_BRIT_CHANGED);
    EXPECT_EQ(BRIGHTNESSSave.load(), 70);
}

// Fewer than eleven levels: the counter is mapped onto the table by its length, each level is
// one firmware step, and no entry past the table is ever applied.
TEST_F(BrightnessTest, AShortTableIsSteppedAndAppliedByItsLength) {
    bOSDModel = 1;
    setTable({20, 50, 100});
    RestoreBrightnessState();
    EXPECT_EQ(sets().back(), 100);
    dwModelID = 3;
    RestoreBrightnessState();
    EXPECT_EQ(BRIGHTNESSCount.load(), 60);
    EXPECT_EQ(sets().back(), 50);  // 60 % lies nearest the middle level
    dwModelID = 1;
    RestoreBrightnessState();

    // Down from the top: a step where the counter passes 70 (nearer 50) and 20 (nearer 0).
    for (int i = 0; i < 30; ++i) post(LPARAM_DEBR);
    EXPECT_EQ(methods(), std::vector<std::string>{"DEBR"});
    EXPECT_EQ(iValue.load(), 50);
    for (int i = 0; i < 70; ++i) post(LPARAM_DEBR);
    EXPECT_EQ(methods(), (std::vector<std::string>{"DEBR", "DEBR"}));
    EXPECT_EQ(BRIGHTNESSCount.load(), 0);
    EXPECT_EQ(iValue.load(), 20);
    SaveBrightnessState();
    RestoreBrightnessState();
    EXPECT_EQ(sets().back(), 20);
    for (int i = 0; i < 100; ++i) post(LPARAM_INBR);
    EXPECT_EQ(methods(), (std::vector<std::string>{"DEBR", "DEBR", "INBR", "INBR"}));
    EXPECT_EQ(iValue.load(), 100);

    // At start on version 5: from the maximum down to the saved level's place in the table.
    methodsBefore = firmware->status()["methods"].size();
    writeState(state(40, 40, 50));
    RestoreBrightnessAtStart();
    EXPECT_EQ(methods(), (std::vector<std::string>{"MXBR", "DEBR"}));
    for (const auto& level : sets()) EXPECT_NE(level, 0);
}

TEST_F(BrightnessTest, ATableOfFewerThanTwoLevelsLeavesThePanelAlone) {
    bOSDModel = 1;
    for (const auto& levels : {std::vector<uint8_t>{}, std::vector<uint8_t>{70}}) {
        setTable(levels);
        methodsBefore = firmware->status()["methods"].size();
        RestoreBrightnessState();
        for (int i = 0; i < 11; ++i) post(LPARAM_DEBR);
        EXPECT_EQ(BRIGHTNESSCount.load(), 89);
        EXPECT_EQ(platform::ports().osdSurface->alpha(), 192);
        SaveBrightnessState();
        RestoreBrightnessState();
        // The counters are still carried; the level is not applied.
        writeState(state(40, 40, 40));
        RestoreBrightnessState();
        EXPECT_EQ(BRIGHTNESSCount.load(), 40);
        writeState(state(30, 30, 30));
        RestoreBrightnessAtStart();
        EXPECT_EQ(BRIGHTNESSCount.load(), 30);
        EXPECT_EQ(sets(), nlohmann::json::array()) << levels.size();
        EXPECT_EQ(methods(), std::vector<std::string>{}) << levels.size();
    }
}

// Anyone may write the file: a value out of range makes it as meaningless as a wrong size (with
// one line to the journal), and nothing read from it reaches any arithmetic.
TEST_F(BrightnessTest, AFileWithAValueOutOfRangeIsDiscardedWithOneLine) {
    bOSDModel = 1;
    auto restore = [&](const std::vector<uint8_t>& bytes, void (*how)()) {
        writeState(bytes);
        base::resetEvent(hBritNoChangedEvent.load());
        methodsBefore = firmware->status()["methods"].size();
        testing::internal::CaptureStderr();
        how();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(fs::exists(szBrightnessFile));
        return std::count(err.begin(), err.end(), '\n');
    };
    for (int field = 0; field < 3; ++field) {
        for (const int32_t v :
             {INT32_MIN, INT32_MAX, static_cast<int32_t>(0x80000000u), -1, field < 2 ? 101 : 256}) {
            int32_t f[3] = {40, 40, 40};
            f[field] = v;
            const std::string what = std::to_string(field) + ": " + std::to_string(v);

            EXPECT_EQ(restore(state(f[0], f[1], f[2]), RestoreBrightnessState), 1) << what;
            EXPECT_EQ(BRIGHTNESSCount.load(), 100) << what;
            EXPECT_EQ(BRIGHTNESSSave.load(), 100) << what;
            EXPECT_EQ(sets().back(), 100) << what;
            EXPECT_TRUE(base::isSignalled(hBritNoChangedEvent.load())) << what;
            for (const base::LPARAM code : {LPARAM_INBR, LPARAM_DEBR}) post(code);
            EXPECT_EQ(BRIGHTNESSCount.load(), 99) << what;

            EXPECT_EQ(restore(state(f[0], f[1], f[2]), RestoreBrightnessAtStart), 1) << what;
            EXPECT_EQ(methods(), std::vector<std::string>{"MXBR"}) << what;
            EXPECT_EQ(BRIGHTNESSCount.load(), 100) << what;
            EXPECT_FALSE(base::isSignalled(hBritNoChangedEvent.load())) << what;
        }
    }
    // A level byte the table does not hold is not applied to the panel; at start, where only
    // the counters are used, it stands.
    EXPECT_EQ(restore(state(40, 40, 45), RestoreBrightnessState), 1);
    EXPECT_EQ(BRIGHTNESSSave.load(), 100);
    EXPECT_EQ(restore(state(40, 40, 45), RestoreBrightnessAtStart), 0);
    EXPECT_EQ(BRIGHTNESSSave.load(), 40);
}

TEST_F(BrightnessTest, EachPanelNoticeBecomesOnePostedChange) {
    std::atomic<int> posted{0};
    window->queue().setPostObserver([&](const base::Message& m) {
        if (m.message == WM_DEVICE_EVENT && m.lParam == LPARAM_BRIT_CHANGED) ++posted;
    });
    base::startThread("BRITC test", ThreadFunctionBRITC);
    backlight->command({"set", "30"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (posted.load() < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    window->queue().setPostObserver({});
    EXPECT_EQ(posted.load(), 1);
    EXPECT_EQ(dwWmiBrightness.load(), 30u);
}

// The plain name exists but is not ours: the first numbered name that is free or ours is used.
TEST_F(BrightnessTest, APlainFileNotOursLeadsToTheFirstFreeNumberedName) {
    const std::string plain = (dir / "KL04BrightnessLevel.INI").string();
    std::ofstream(plain) << "x";
    std::ofstream((dir / "KL04BrightnessLevel00.INI").string()) << "x";
    ASSERT_EQ(chmod(plain.c_str(), 0600), 0);
    ASSERT_EQ(chmod((dir / "KL04BrightnessLevel00.INI").c_str(), 0600), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    // Root opens anything: the choice is made as another user, in a child.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        ChooseBrightnessFileName();
        const std::string name = fs::path(szBrightnessFile).filename().string();
        (void)!write(fds[1], name.data(), name.size());
        _exit(0);
    }
    close(fds[1]);
    char buf[64] = {};
    const ssize_t n = read(fds[0], buf, sizeof(buf) - 1);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0),
              "KL04BrightnessLevel01.INI");
}

}  // namespace
