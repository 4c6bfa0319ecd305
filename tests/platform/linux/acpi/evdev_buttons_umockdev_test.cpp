// The firmware buttons' reader on an evdev device that umockdev emulates: libevdev's ioctls are
// answered and the key events replayed from tests/data/umockdev. Runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

#include "base/event.h"
#include "platform/linux/acpi/evdev_buttons.h"
#include "tests/support/testbed.h"

namespace {

using platform::linux_adapter::NotifyQueue;
using platform::linux_adapter::startButtonReader;
using testsupport::Testbed;
using Clock = std::chrono::steady_clock;

constexpr const char* kNode = "/dev/input/event5";

std::atomic<int> grabs{0};
std::atomic<int> grabMode{-1};

// The kernel's answer when another reader holds the device.
int refuseGrab(libevdev* /*dev*/, libevdev_grab_mode mode) {
    ++grabs;
    grabMode = mode;
    return -EBUSY;
}

class FirmwareButtonsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Testbed::redirected()) << "run this binary under umockdev-wrapper";
        ASSERT_FALSE(bed_.add("firmware-buttons.umockdev").empty());
        queue_->setEvent(event_);
    }

    // Starts the reader on the emulated device, replays `events` and gives the notify codes
    // queued until `last` came (or five seconds passed).
    std::vector<uint32_t> codes(const char* ioctl, const char* events, uint32_t last,
                                platform::linux_adapter::GrabButtons grab = libevdev_grab) {
        std::vector<uint32_t> got;
        if (!bed_.loadIoctl(kNode, ioctl)) return got;
        if (!startButtonReader(kNode, queue_, grab)) return got;
        if (!bed_.replay(kNode, events)) return got;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (got.empty() || got.back() != last) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            base::waitForSingleObject(event_, static_cast<uint32_t>(left.count()));
            while (const auto code = queue_->pop()) got.push_back(*code);
        }
        return got;
    }

    Testbed bed_;
    base::Event* event_ = base::createEvent(false, false);
    std::shared_ptr<NotifyQueue> queue_ = std::make_shared<NotifyQueue>();
};

TEST_F(FirmwareButtonsTest, EachPressAndReleaseIsItsNotifyCodeAndRepeatsAreNone) {
    const auto got = codes("firmware-buttons.ioctl", "firmware-buttons-presses.events", 0xCB);
    EXPECT_EQ(got, (std::vector<uint32_t>{0xC7, 0xC6, 0xC8, 0xC9, 0xCA, 0xCB}));
}

// The key is still down when the state is read again after the drop: no second press, and the
// release that follows still counts.
TEST_F(FirmwareButtonsTest, DroppedEventsWhileHeldGiveNoSecondPress) {
    const auto got =
        codes("firmware-buttons-held.ioctl", "firmware-buttons-drop-held.events", 0xC9);
    EXPECT_EQ(got, (std::vector<uint32_t>{0xC8, 0xC9}));
}

// The release was lost in the drop: the state read afterwards brings it back.
TEST_F(FirmwareButtonsTest, AReleaseLostInADropComesFromTheStateReadAgain) {
    const auto got = codes("firmware-buttons.ioctl", "firmware-buttons-drop-released.events", 0xC9);
    EXPECT_EQ(got, (std::vector<uint32_t>{0xC8, 0xC9}));
}

// umockdev takes every EVIOCGRAB and keeps nothing exclusive, so the grab is seen through its
// one call: asked for once, and a refusal costs no button.
TEST_F(FirmwareButtonsTest, TheDeviceIsGrabbedAndARefusedGrabStillReadsTheButtons) {
    grabs = 0;
    const auto got =
        codes("firmware-buttons.ioctl", "firmware-buttons-presses.events", 0xCB, refuseGrab);
    EXPECT_EQ(grabs.load(), 1);
    EXPECT_EQ(grabMode.load(), LIBEVDEV_GRAB);
    EXPECT_EQ(got.size(), 6u);
}

}  // namespace
