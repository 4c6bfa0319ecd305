// The sysfs backlight adapter against a umockdev testbed: attributes are files in the testbed
// and uevents reach the adapter's udev monitor. Runs only under umockdev-wrapper.
#include <linux/capability.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <umockdev.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/systemd/backlight.h"
#include "tests/support/process.h"

namespace {

using platform::linux_adapter::BacklightOptions;
using platform::linux_adapter::makeSysfsBacklight;

class BacklightTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Asked only with a testbed in place: /sys is redirected only then.
        testbed_ = umockdev_testbed_new();
        ASSERT_NE(testbed_, nullptr);
        ASSERT_TRUE(umockdev_in_mock_environment()) << "run this binary under umockdev-wrapper";
    }
    void TearDown() override {
        if (testbed_ != nullptr) g_object_unref(testbed_);
    }

    // A backlight as the kernel shows one; returns its sysfs path.
    std::string addBacklight(const char* name, const char* type, int max, int level) {
        const std::string maxText = std::to_string(max);
        const std::string levelText = std::to_string(level);
        gchar* path = umockdev_testbed_add_device(
            testbed_, "backlight", name, nullptr, "brightness", levelText.c_str(),
            "actual_brightness", levelText.c_str(), "max_brightness", maxText.c_str(), "type", type,
            nullptr, nullptr);
        EXPECT_NE(path, nullptr);
        std::string result = path != nullptr ? path : "";
        g_free(path);
        return result;
    }

    // An outside change: the driver's new value and its uevent. Written in place as the kernel
    // changes it (the testbed's own setter replaces the file, which an open reader never sees).
    void changeFromOutside(const std::string& device, int raw) {
        for (const char* name : {"brightness", "actual_brightness"}) {
            std::ofstream out(realPath(device, name), std::ios::trunc);
            out << raw;
            ASSERT_TRUE(out.flush()) << name;
        }
        umockdev_testbed_uevent(testbed_, device.c_str(), "change");
    }

    // The attribute's file in the testbed, not through the redirection.
    std::string realPath(const std::string& device, const char* attribute) {
        gchar* root = umockdev_testbed_get_root_dir(testbed_);
        std::string path = std::string(root) + device + "/" + attribute;
        g_free(root);
        return path;
    }

    std::string attribute(const std::string& device, const char* name) {
        std::ifstream in(realPath(device, name));
        std::string value;
        in >> value;
        return value;
    }

    UMockdevTestbed* testbed_ = nullptr;
};

TEST_F(BacklightTest, SetRoundsPercentToNearestRawValue) {
    const auto device = addBacklight("intel_backlight", "raw", 937, 100);
    auto backlight = makeSysfsBacklight({});
    EXPECT_TRUE(backlight->setLevel(40));
    EXPECT_EQ(attribute(device, "brightness"), "375");  // 374.8
    EXPECT_TRUE(backlight->setLevel(0));
    EXPECT_EQ(attribute(device, "brightness"), "0");
    EXPECT_TRUE(backlight->setLevel(100));
    EXPECT_EQ(attribute(device, "brightness"), "937");
    EXPECT_TRUE(backlight->setLevel(1));
    EXPECT_EQ(attribute(device, "brightness"), "9");  // 9.37
}

TEST_F(BacklightTest, ChoosesFirmwareThenPlatformThenRawThenFirstByName) {
    const auto raw = addBacklight("a_raw", "raw", 100, 10);
    const auto platformDevice = addBacklight("b_platform", "platform", 100, 10);
    const auto firmware = addBacklight("c_firmware", "firmware", 100, 10);
    auto backlight = makeSysfsBacklight({});

    ASSERT_TRUE(backlight->setLevel(70));
    EXPECT_EQ(attribute(firmware, "brightness"), "70");
    EXPECT_EQ(attribute(platformDevice, "brightness"), "10");
    EXPECT_EQ(attribute(raw, "brightness"), "10");

    umockdev_testbed_remove_device(testbed_, firmware.c_str());
    ASSERT_TRUE(backlight->setLevel(60));
    EXPECT_EQ(attribute(platformDevice, "brightness"), "60");
    EXPECT_EQ(attribute(raw, "brightness"), "10");

    umockdev_testbed_remove_device(testbed_, platformDevice.c_str());
    const auto earlierRaw = addBacklight("0_raw", "raw", 100, 10);
    ASSERT_TRUE(backlight->setLevel(50));
    EXPECT_EQ(attribute(earlierRaw, "brightness"), "50");
    EXPECT_EQ(attribute(raw, "brightness"), "10");
}

TEST_F(BacklightTest, NoUsableBacklightFailsTheSet) {
    auto backlight = makeSysfsBacklight({});
    EXPECT_FALSE(backlight->setLevel(50));
    const auto broken = addBacklight("broken", "raw", 0, 0);  // would divide by zero
    EXPECT_FALSE(backlight->setLevel(50));
    EXPECT_EQ(attribute(broken, "brightness"), "0");
}

// Runs `body` on a thread that has given up root's right to ignore file modes.
template <class F>
void withoutFileModeOverride(F body) {
    std::thread worker([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        data[0].effective &=
            ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER));
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
        body();
    });
    worker.join();
}

class ReadOnlyBacklightTest : public BacklightTest {
protected:
    void SetUp() override {
        BacklightTest::SetUp();
        if (HasFatalFailure()) return;
        device_ = addBacklight("intel_backlight", "raw", 937, 468);
        ASSERT_EQ(chmod(realPath(device_, "brightness").c_str(), 0444), 0);
        dir_ = testsupport::makeTempDir("backlight-bus");
        const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (old != nullptr) oldBus_ = old;
    }
    void TearDown() override {
        if (oldBus_) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", oldBus_->c_str(), 1);
        } else {
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
        if (listener_ >= 0) close(listener_);
        testsupport::removeTree(dir_);
        BacklightTest::TearDown();
    }

    // Timing check: the set runs on the GUI thread, so it must give up within its bound.
    void expectQuickFailure(int timeoutMs) {
        auto backlight = makeSysfsBacklight({.logindTimeoutMs = timeoutMs});
        bool result = true;
        const auto start = std::chrono::steady_clock::now();
        withoutFileModeOverride([&] { result = backlight->setLevel(40); });
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(result);
        EXPECT_LT(took, std::chrono::milliseconds(timeoutMs) + std::chrono::seconds(2));
        EXPECT_EQ(attribute(device_, "brightness"), "468");
    }

    std::string device_;
    std::string dir_;
    std::optional<std::string> oldBus_;
    int listener_ = -1;
};

TEST_F(ReadOnlyBacklightTest, WithoutSystemBusTheSetFails) {
    const std::string address = "unix:path=" + dir_ + "/absent";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    expectQuickFailure(500);
}

TEST_F(ReadOnlyBacklightTest, SilentSystemBusCannotHoldTheSet) {
    // Accepts connections into its backlog and never answers.
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener_, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = dir_ + "/bus";
    ASSERT_LT(path.size(), sizeof(addr.sun_path));
    path.copy(addr.sun_path, path.size());
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(listen(listener_, 4), 0);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    expectQuickFailure(300);
}

TEST_F(BacklightTest, OutsideChangeIsOneNoticeInPercent) {
    const auto device = addBacklight("intel_backlight", "raw", 937, 937);
    auto notices = makeSysfsBacklight({})->watch();
    ASSERT_NE(notices, nullptr);

    // The same change announced twice, as the kernel's two roads do.
    changeFromOutside(device, 468);
    umockdev_testbed_uevent(testbed_, device.c_str(), "change");
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(50));  // 49.95

    changeFromOutside(device, 94);
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(10));  // 10.03, not a second 50
}

TEST_F(BacklightTest, UeventsOfOtherBacklightsAreNotNotices) {
    const auto followed = addBacklight("a_firmware", "firmware", 100, 30);
    const auto other = addBacklight("b_raw", "raw", 100, 30);
    auto notices = makeSysfsBacklight({})->watch();
    ASSERT_NE(notices, nullptr);

    changeFromOutside(other, 80);
    changeFromOutside(followed, 60);
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(60));
}

TEST_F(BacklightTest, BacklightThatReturnsIsFollowedAgain) {
    auto device = addBacklight("intel_backlight", "raw", 1000, 500);
    auto notices = makeSysfsBacklight({})->watch();
    ASSERT_NE(notices, nullptr);

    umockdev_testbed_uevent(testbed_, device.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, device.c_str());
    device = addBacklight("intel_backlight", "raw", 1000, 250);
    umockdev_testbed_uevent(testbed_, device.c_str(), "add");
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(25));

    changeFromOutside(device, 750);
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(75));
}

TEST_F(BacklightTest, WatchWithoutBacklightWaitsForOneToAppear) {
    auto notices = makeSysfsBacklight({})->watch();
    ASSERT_NE(notices, nullptr) << "a udev monitor can still announce a backlight";

    const auto device = addBacklight("acpi_video0", "firmware", 10, 7);
    umockdev_testbed_uevent(testbed_, device.c_str(), "add");
    EXPECT_EQ(notices->next(), std::optional<uint8_t>(70));
}

// sysfs raises POLLPRI on actual_brightness when the driver changes it; the testbed's plain file
// cannot, so the wait answers that entry (the one asking for POLLPRI) from an eventfd the test
// raises, one raise per wake-up. It also counts the waits begun: the reader is back in its wait,
// done with everything before, when the count moved on.
class RaisedAttribute {
public:
    RaisedAttribute() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE)) {}
    ~RaisedAttribute() { close(fd_); }
    RaisedAttribute(const RaisedAttribute&) = delete;
    RaisedAttribute& operator=(const RaisedAttribute&) = delete;

    void raise() const {
        const uint64_t one = 1;
        ASSERT_EQ(write(fd_, &one, sizeof(one)), static_cast<ssize_t>(sizeof(one)));
    }

    bool waitsBegun(int count) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::seconds(5), [&] { return waits_ >= count; });
    }

    int wait(pollfd* fds, nfds_t n, int timeout) {
        {
            std::lock_guard l(m_);
            ++waits_;
            cv_.notify_all();
        }
        std::vector<pollfd> real(fds, fds + n);
        for (pollfd& p : real) {
            if (p.events == POLLPRI) p = {fd_, POLLIN, 0};
        }
        const int r = poll(real.data(), n, timeout);
        if (r < 0) return r;
        int ready = 0;
        for (nfds_t i = 0; i < n; ++i) {
            fds[i].revents = real[i].revents;
            if (fds[i].events == POLLPRI) {
                uint64_t count = 0;
                const bool raised = real[i].revents != 0 && read(fd_, &count, sizeof(count)) > 0;
                fds[i].revents = raised ? POLLPRI | POLLERR : 0;
            }
            ready += fds[i].revents != 0 ? 1 : 0;
        }
        return ready;
    }

private:
    int fd_;
    std::mutex m_;
    std::condition_variable cv_;
    int waits_ = 0;
};

TEST_F(BacklightTest, EachRaisedAttributeChangeIsOneNotice) {
    const auto device = addBacklight("intel_backlight", "raw", 937, 937);
    auto raised = std::make_shared<RaisedAttribute>();
    BacklightOptions options;
    options.waitForNotices = [raised](pollfd* fds, nfds_t n, int timeout) {
        return raised->wait(fds, n, timeout);
    };
    std::shared_ptr<platform::BrightnessNotices> notices = makeSysfsBacklight(options)->watch();
    ASSERT_NE(notices, nullptr);

    // Notices until the stop, which comes with a uevent.
    std::mutex m;
    std::vector<uint8_t> got;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (const auto level = notices->next()) {
            if (stop) return;
            std::lock_guard l(m);
            got.push_back(*level);
        }
    });
    auto seen = [&] {
        std::lock_guard l(m);
        return got;
    };
    // Written in place, with no uevent: only the raised attribute tells of it.
    auto change = [&](int raw) {
        std::ofstream out(realPath(device, "actual_brightness"), std::ios::trunc);
        out << raw;
        ASSERT_TRUE(out.flush());
    };

    EXPECT_TRUE(raised->waitsBegun(1));
    change(468);
    raised->raise();
    EXPECT_TRUE(raised->waitsBegun(2));
    EXPECT_EQ(seen(), std::vector<uint8_t>{50});  // 49.95
    // Raised with the level as it was: nothing to tell.
    raised->raise();
    EXPECT_TRUE(raised->waitsBegun(3));
    EXPECT_EQ(seen(), std::vector<uint8_t>{50});
    change(94);
    raised->raise();
    EXPECT_TRUE(raised->waitsBegun(4));
    EXPECT_EQ(seen(), (std::vector<uint8_t>{50, 10}));  // 10.03

    stop = true;
    change(750);
    umockdev_testbed_uevent(testbed_, device.c_str(), "change");
    reader.join();
}

}  // namespace
