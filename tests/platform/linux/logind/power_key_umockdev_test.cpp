// The power keys read from an evdev device that umockdev emulates (tests/data/umockdev), alone
// and as the logind adapter's session end. Runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/linux/logind/logind_power.h"
#include "platform/linux/logind/power_key.h"
#include "tests/support/dbusmock.h"
#include "tests/support/process.h"
#include "tests/support/testbed.h"

namespace {

using platform::PowerButton;
using platform::PowerNotice;
using platform::linux_adapter::LogindPower;
using platform::linux_adapter::PowerKeys;
using testsupport::Testbed;

constexpr const char* kNode = "/dev/input/event5";

// What arrives from the reader's thread, waited for by count.
template <class T>
class Arrivals {
public:
    void add(T item) {
        std::lock_guard l(m_);
        items_.push_back(std::move(item));
        cv_.notify_all();
    }
    std::vector<T> waitFor(std::size_t count) {
        std::unique_lock l(m_);
        cv_.wait_for(l, std::chrono::seconds(5), [&] { return items_.size() >= count; });
        return items_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<T> items_;
};

class PowerKeyDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Testbed::redirected()) << "run this binary under umockdev-wrapper";
        ASSERT_FALSE(bed_.add("system-control.umockdev").empty());
        ASSERT_TRUE(bed_.loadIoctl(kNode, "system-control.ioctl"));
    }

    Testbed bed_;
};

// The sleep press comes last: when it is there, every event before it was read.
TEST_F(PowerKeyDeviceTest, OnePressPerKeyNeitherRepeatsNorReleases) {
    Arrivals<PowerButton> presses;
    PowerKeys keys("/dev/input");
    ASSERT_EQ(keys.start([&](PowerButton b) { presses.add(b); }), 1);
    ASSERT_TRUE(bed_.replay(kNode, "system-control-presses.events"));
    const auto got = presses.waitFor(2);
    EXPECT_EQ(got, (std::vector<PowerButton>{PowerButton::Power, PowerButton::Sleep}));
    keys.stop();
}

TEST(PowerKeySessionEndTest, ThePowerKeyEndsTheSessionWhenItsActionIsShutDown) {
    // The bus first: its processes need no testbed.
    testsupport::LogindMock mock;
    mock.setManagerString("HandlePowerKey", "poweroff");
    mock.setManagerString("HandleSuspendKey", "suspend");
    ASSERT_TRUE(Testbed::redirected()) << "run this binary under umockdev-wrapper";
    Testbed bed;
    ASSERT_FALSE(bed.add("system-control.umockdev").empty());
    ASSERT_TRUE(bed.loadIoctl(kNode, "system-control.ioctl"));
    const std::string dir = testsupport::makeTempDir("veskosd-power-key");

    Arrivals<PowerNotice> notices;
    {
        LogindPower power(dir, nullptr, {.callMs = 1500}, "/dev/input");
        power.start([&](PowerNotice n) { notices.add(std::move(n)); });
        ASSERT_TRUE(power.writeButtonAction("logind", PowerButton::Power, 3));
        ASSERT_TRUE(power.writeButtonAction("logind", PowerButton::Sleep, 0));
        ASSERT_TRUE(power.activateScheme("logind"));
        ASSERT_TRUE(power.ownsKeys());
        ASSERT_TRUE(bed.replay(kNode, "system-control-presses.events"));
        const auto got = notices.waitFor(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].kind, PowerNotice::Kind::SessionEnd);
    }
    testsupport::removeTree(dir);
}

}  // namespace
