// Monitor power notices from a private Xvfb. Xvfb has no DPMS extension, so its screen saver
// is what tells them, as on servers whose monitors are powered down through it. The power keys'
// own connection to the same server, which must outlive it as the monitor's does.
#include "platform/linux/logind/x11_monitor_power.h"

#include <atomic>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/logind/logind_power.h"
#include "platform/linux/logind/x11_power_keys.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using platform::PowerNotice;
using platform::PowerSetting;
using platform::linux_adapter::LogindPower;
using platform::linux_adapter::X11MonitorPower;
using platform::linux_adapter::X11PowerKeys;

class Reports {
public:
    void push(uint32_t data) {
        std::lock_guard l(m_);
        list_.push_back(data);
        cv_.notify_all();
    }
    // The reports once there are `n`, waiting up to five seconds for them.
    std::vector<uint32_t> await(std::size_t n) {
        std::unique_lock l(m_);
        cv_.wait_for(l, std::chrono::seconds(5), [&] { return list_.size() >= n; });
        return list_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint32_t> list_;
};

void xset(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xset", "-display", display};
    argv.insert(argv.end(), args.begin(), args.end());
    int status = -1;
    testsupport::run(argv, &status);
    ASSERT_EQ(status, 0);
}

TEST(MonitorPowerTest, RegistrationAnswersWithThePresentStateThenFollowsTheScreenSaver) {
    testsupport::Xvfb x;
    // No logind here: monitor power does not depend on it.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/veskosd-bus", 1);
    const std::string dir = testsupport::makeTempDir("veskosd-monitor");
    LogindPower power(dir, std::make_unique<X11MonitorPower>(x.display()), {}, dir);
    Reports reports;
    power.start([&](PowerNotice n) {
        if (n.kind == PowerNotice::Kind::SettingChange &&
            n.setting == PowerSetting::MonitorPowerOn) {
            reports.push(n.data);
        }
    });
    EXPECT_NE(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0u);
    EXPECT_EQ(reports.await(1), std::vector<uint32_t>{1});

    xset(x.display(), {"s", "activate"});
    EXPECT_EQ(reports.await(2), (std::vector<uint32_t>{1, 0}));
    // Activating again changes nothing, so nothing is told.
    xset(x.display(), {"s", "activate"});
    xset(x.display(), {"s", "reset"});
    EXPECT_EQ(reports.await(3), (std::vector<uint32_t>{1, 0, 1}));
    // A second registration starts nothing new.
    EXPECT_NE(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0u);
    xset(x.display(), {"s", "activate"});
    EXPECT_EQ(reports.await(4), (std::vector<uint32_t>{1, 0, 1, 0}));
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    testsupport::removeTree(dir);
}

TEST(MonitorPowerTest, StartsSavedWhenTheScreenSaverIsAlreadyOnAndFailsWithoutADisplay) {
    testsupport::Xvfb x;
    xset(x.display(), {"s", "activate"});
    X11MonitorPower source(x.display());
    Reports reports;
    ASSERT_TRUE(source.start([&](bool on) { reports.push(on ? 1 : 0); }));
    EXPECT_EQ(reports.await(1), std::vector<uint32_t>{0});

    X11MonitorPower nowhere(":999");
    EXPECT_FALSE(nowhere.start([](bool) {}));
}

// The server dies and a new one comes up on the same display: the monitor is watched there
// again, and its state told when the new server's differs from the last one told.
TEST(MonitorPowerTest, ANewServerOnTheDisplayIsWatchedAgain) {
    testsupport::Xvfb x;
    X11MonitorPower source(x.display());
    Reports reports;
    ASSERT_TRUE(source.start([&](bool on) { reports.push(on ? 1 : 0); }));
    xset(x.display(), {"s", "activate"});
    ASSERT_EQ(reports.await(2), (std::vector<uint32_t>{1, 0}));

    x.restart();
    EXPECT_EQ(reports.await(3), (std::vector<uint32_t>{1, 0, 1}));
    xset(x.display(), {"s", "activate"});
    EXPECT_EQ(reports.await(4), (std::vector<uint32_t>{1, 0, 1, 0}));
}

TEST(PowerKeysTest, ANewServerOnTheDisplayIsHeardAgain) {
    testsupport::Xvfb x;
    X11PowerKeys keys(x.display());
    std::atomic<int> presses{0};
    ASSERT_EQ(keys.start([&](platform::PowerButton b) {
        if (b == platform::PowerButton::Power) ++presses;
    }),
              1);
    const auto pressUntilHeard = [&](int n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // Presses made before the new server is watched are not heard: press until one is.
        while (presses < n && std::chrono::steady_clock::now() < deadline) {
            testsupport::run({"xdotool", "key", "XF86PowerOff"});
            const auto waitUntil =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
            while (presses < n && std::chrono::steady_clock::now() < waitUntil) {
                std::this_thread::yield();
            }
        }
        return presses.load();
    };
    EXPECT_EQ(pressUntilHeard(1), 1);
    x.restart();
    EXPECT_EQ(pressUntilHeard(2), 2);
}

}  // namespace
