#include "input/acpi_channel.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/globals.h"
#include "app/message_box.h"
#include "base/thread.h"
#include "brightness/levels.h"
#include "buttons/action_threads.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"
#include "platform/sim/firmware.h"
#include "tests/support/lifelong_window.h"

namespace {

using platform::sim::FirmwareOptions;
using platform::sim::SimFirmware;

class AcpiChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        clearShownMessageBoxes();
        dispatch::clearHandlers();
        dwBCLLevelCount = 0;
        BrightnessBCLLevel.fill(0);
    }
    void TearDown() override {
        hMainWnd = nullptr;
        platform::installPorts({});
        resetGlobals();
    }
    std::shared_ptr<SimFirmware> open(FirmwareOptions options) {
        auto firmware = std::make_shared<SimFirmware>(std::move(options));
        platform::Ports p;
        p.acpiDrivers = std::make_unique<platform::sim::SimAcpiDrivers>(firmware);
        platform::installPorts(std::move(p));
        OpenAcpiChannel();
        return firmware;
    }
};

TEST_F(AcpiChannelTest, TheModelNumberDecidesTheModelAndTheLevelListIsRead) {
    auto firmware = open({.model = 2});
    EXPECT_EQ(dwModelID.load(), 2u);
    EXPECT_EQ(bOSDModel.load(), 0);
    const auto methods = firmware->status()["methods"];
    ASSERT_GE(methods.size(), 2u);
    EXPECT_EQ(methods[0], "MBID");
    EXPECT_EQ(methods[1], "QZLV");
    ASSERT_EQ(dwBCLLevelCount.load(), 11u);
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(BrightnessBCLLevel[i], i * 10);
    EXPECT_TRUE(shownMessageBoxes().empty());

    for (const int64_t other : {0LL, 4LL, -1LL, 0x7FFFFFFFLL}) {
        resetGlobals();
        open({.model = other});
        EXPECT_EQ(dwModelID.load(), 0u) << other;
        EXPECT_EQ(bOSDModel.load(), 1) << other;
    }
}

TEST_F(AcpiChannelTest, AnAbsentDeviceShowsOneBoxAndEveryCallFails) {
    auto firmware = open({.present = false});
    ASSERT_EQ(shownMessageBoxes().size(), 1u);
    EXPECT_EQ(shownMessageBoxes()[0].text, "Can't Open ACPI kernel Mode Driver");
    EXPECT_EQ(hACPIDevice.load(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(bOSDModel.load(), 1);
    EXPECT_EQ(dwModelID.load(), 0u);
    EXPECT_EQ(dwBCLLevelCount.load(), 0u);
    EXPECT_EQ(CallAcpiMethod("TLCD", ACPIMethodOutBuffer.data()), 0);
    EXPECT_EQ(QueryBCLLevels(), 0);
    EXPECT_TRUE(firmware->status()["methods"].empty());
}

// The level list's data length L holds L - 2 levels after two leading bytes; only a length the
// table can back is kept.
TEST_F(AcpiChannelTest, LevelListLengthsAtTheEdgesOfTheTable) {
    struct Case {
        uint16_t length;
        uint32_t count;
    };
    for (const Case c : {Case{13, 11}, Case{2, 0}, Case{96, 94}, Case{97, 0}, Case{1, 0},
                         Case{0, 0}, Case{0xFFFF, 0}}) {
        dwBCLLevelCount = 77;
        BrightnessBCLLevel.fill(0xEE);
        std::array<uint8_t, kBCLReplySize> reply{};
        reply[14] = static_cast<uint8_t>(c.length);
        reply[15] = static_cast<uint8_t>(c.length >> 8);
        for (std::size_t i = 16; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(i);
        TakeBCLLevels(reply);
        EXPECT_EQ(dwBCLLevelCount.load(), c.count) << c.length;
        for (std::size_t i = 0; i < BrightnessBCLLevel.size(); ++i) {
            const uint8_t expected = i < c.count ? static_cast<uint8_t>(18 + i) : 0xEE;
            ASSERT_EQ(BrightnessBCLLevel[i], expected) << "length " << c.length << " entry " << i;
        }
    }
    // The same through the driver: a raw data length of 97 copies nothing.
    open({.levelDataLength = 97});
    EXPECT_EQ(dwBCLLevelCount.load(), 0u);
}

TEST_F(AcpiChannelTest, AMethodCallPassesOnTheReplyLengthOfTheCallBefore) {
    open({});
    dwACPIMethodOutSize = 512;
    ASSERT_EQ(CallAcpiMethod("TLCD", ACPIMethodOutBuffer.data()), 1);
    const uint32_t returned = dwACPIMethodOutSize.load();
    EXPECT_EQ(returned, 20u);
    // A reply that no longer fits fails and leaves the size alone.
    dwACPIMethodOutSize = 8;
    EXPECT_EQ(CallAcpiMethod("TLCD", ACPIMethodOutBuffer.data()), 0);
    EXPECT_EQ(dwACPIMethodOutSize.load(), 8u);
    const auto request = makeAcpiMethodRequest("MBID");
    const std::array<uint8_t, 20> expected{1, 0, 0, 0, 0x4D, 0x42, 0x49, 0x44};
    EXPECT_EQ(request, expected);
}

TEST_F(AcpiChannelTest, ThePanelToggleCallsTheFirmwareOnTheOsdModelOnly) {
    auto firmware = open({});
    registerAcpiHandlers();
    dispatch::handleMessage(WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, LPARAM_TOGGLE_LCD);
    EXPECT_EQ(firmware->status()["methods"].back(), "TLCD");
    bOSDModel = 0;
    const std::size_t before = firmware->status()["methods"].size();
    dispatch::handleMessage(WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, LPARAM_TOGGLE_LCD);
    EXPECT_EQ(firmware->status()["methods"].size(), before);
}

// One notification thread of the test's own, so codes are taken strictly in order.
class NotifyCodeTest : public AcpiChannelTest {
protected:
    void SetUp() override {
        AcpiChannelTest::SetUp();
        firmware = open({});
        CreateVolumeButtonEvents();
        for (auto* e : {&hVolMuteMakeEvent, &hVolMuteBreakEvent, &hVolUpMakeEvent,
                        &hVolUpBreakEvent, &hVolDownMakeEvent, &hVolDownBreakEvent}) {
            base::resetEvent(e->load());
        }
        static auto* own = new std::atomic<base::Event*>(base::createEvent(false, false));
        firmware->setNotifyEvent(own->load());
        static const bool started = base::startThread("test notify", [] { HotKeyThread(own); });
        ASSERT_TRUE(started);
        window = testsupport::lifelongWindow();
        hMainWnd = window;
        window->queue().setPostObserver([this](const base::Message& m) {
            std::lock_guard lock(postedMutex);
            posted.push_back(m.lParam);
            base::setEvent(postedEvent);
        });
    }
    void TearDown() override {
        window->queue().setPostObserver({});
        VolumeMuteButton.set({1, MuteVolume, {}, 0, 0});
        VolumeUpButton.set({1, IncreaseVolume, {}, 1, 30});
        AcpiChannelTest::TearDown();
    }
    bool signalled(const std::atomic<base::Event*>& e) {
        return base::waitForSingleObject(e.load(), 2000) == base::kWaitObject0;
    }

    std::shared_ptr<SimFirmware> firmware;
    CVESKOSDDlg* window = nullptr;
    std::mutex postedMutex;
    std::vector<base::LPARAM> posted;
    base::Event* postedEvent = base::createEvent(false, false);
};

TEST_F(NotifyCodeTest, PressesAndReleasesFollowEnabledAndAutoRepeat) {
    // The mute default does not repeat: its release sets nothing.
    firmware->notify(ACPI_NC_VOL_MUTE_RELEASE);
    firmware->notify(ACPI_NC_VOL_MUTE_PRESS);
    ASSERT_TRUE(signalled(hVolMuteMakeEvent));
    EXPECT_FALSE(base::isSignalled(hVolMuteBreakEvent.load()));

    firmware->notify(ACPI_NC_VOL_UP_PRESS);
    ASSERT_TRUE(signalled(hVolUpMakeEvent));
    firmware->notify(ACPI_NC_VOL_UP_RELEASE);
    ASSERT_TRUE(signalled(hVolUpBreakEvent));

    VolumeUpButton.set({0, IncreaseVolume, {}, 1, 30});
    firmware->notify(ACPI_NC_VOL_UP_PRESS);
    firmware->notify(ACPI_NC_VOL_DOWN_PRESS);
    ASSERT_TRUE(signalled(hVolDownMakeEvent));
    EXPECT_FALSE(base::isSignalled(hVolUpMakeEvent.load()));
}

TEST_F(NotifyCodeTest, HidCodesArePostedOnBothModelsAndOthersIgnored) {
    for (const int32_t model : {1, 0}) {
        bOSDModel = model;
        {
            std::lock_guard lock(postedMutex);
            posted.clear();
        }
        for (const uint32_t code : {0x56u, 0xE0u, 0xE1u, 0x12345u, 0xD0u, 0xD1u}) {
            firmware->notify(code);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(postedMutex);
                if (posted.size() >= 2) break;
            }
            base::waitForSingleObject(postedEvent, 100);
        }
        std::lock_guard lock(postedMutex);
        EXPECT_EQ(posted, (std::vector<base::LPARAM>{LPARAM_DISABLE_HID, LPARAM_ENABLE_HID}));
    }
}

}  // namespace
