// The hidraw reader on the system's own udev and /dev, emulated by umockdev: the button devices
// and a keyboard are described in tests/data/umockdev with their report descriptors. Runs under
// umockdev-wrapper.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/window.h"
#include "platform/linux/hid/hidraw_input.h"
#include "tests/support/testbed.h"

namespace {

using namespace std::chrono_literals;
using platform::linux_adapter::makeHidrawInput;
using testsupport::Testbed;
using Report = std::vector<uint8_t>;

// The pty behind an emulated node, as this process sees it when it opens the node.
std::string nodeTerminal(int deviceEnd) {
    char name[64] = {};
    return ptsname_r(deviceEnd, name, sizeof(name)) == 0 ? name : "";
}

// Whether some descriptor of this process is open on `path`.
bool holdsOpen(const std::string& path) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        if (std::filesystem::read_symlink(entry.path(), ec) == path) return true;
    }
    return false;
}

class HidrawDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Testbed::redirected()) << "run this binary under umockdev-wrapper";
        for (const char* name : {"panel-keys", "select-keys", "extended-keys", "keyboard"}) {
            const auto syspath = bed_.add(std::string("hid-") + name + ".umockdev");
            ASSERT_FALSE(syspath.empty()) << name;
        }
        window_.queue().setPostObserver([this](const base::Message& m) {
            std::lock_guard lock(m_);
            if (m.message == WM_INPUT) posted_.push_back(m.lParam);
            cv_.notify_all();
        });
        input_ = makeHidrawInput();
        for (const auto& [page, usage] :
             {std::pair{0xFF01, 0x0004}, std::pair{0x0009, 0x0001}, std::pair{0xFFBC, 0x0089}}) {
            ASSERT_TRUE(input_->registerDevice(page, usage, platform::RIDEV_INPUTSINK, &window_));
        }
    }
    void TearDown() override {
        input_.reset();
        window_.queue().setPostObserver(nullptr);
        base::MessageQueue::Item item;
        while (window_.queue().pending() > 0) window_.queue().get(item);
    }

    // Writes one report at the device's end and gives the report the reader posted for it. The
    // emulated node is a stream: the next report is written only once this one arrived.
    std::optional<Report> roundTrip(const char* node, const Report& report) {
        const int end = bed_.deviceEnd(node);
        if (end < 0) return std::nullopt;
        if (write(end, report.data(), report.size()) != static_cast<ssize_t>(report.size())) {
            return std::nullopt;
        }
        std::unique_lock lock(m_);
        if (!cv_.wait_for(lock, 5s, [&] { return !posted_.empty(); })) return std::nullopt;
        const auto handle = posted_.front();
        posted_.erase(posted_.begin());
        lock.unlock();
        const auto record = input_->getRawInputData(handle);
        if (!record) return std::nullopt;
        return record->report;
    }

    // Waits until the reader holds the node open (or lets go of it).
    bool waitUntilHeld(const std::string& terminal, bool held) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (holdsOpen(terminal) != held) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    Testbed bed_;
    base::Window window_;
    std::unique_ptr<platform::RawInput> input_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<base::LPARAM> posted_;
};

TEST_F(HidrawDeviceTest, OnlyTheRegisteredCollectionsAreOpenedAndTheirReportsPosted) {
    for (const char* node : {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"}) {
        EXPECT_TRUE(waitUntilHeld(nodeTerminal(bed_.deviceEnd(node)), true)) << node;
    }
    EXPECT_FALSE(holdsOpen(nodeTerminal(bed_.deviceEnd("/dev/hidraw3"))));

    EXPECT_EQ(roundTrip("/dev/hidraw0", {0x08, 0x03}), (Report{0x08, 0x03}));
    const Report media{0x01, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(roundTrip("/dev/hidraw1", media), media);
    // No report id in this descriptor: the record carries 0 in its place.
    EXPECT_EQ(roundTrip("/dev/hidraw2", {0x35}), (Report{0x00, 0x35}));
}

// Plugged in again, the kernel numbers the device anew (and umockdev cannot bring a removed
// node back under its old name anyway).
TEST_F(HidrawDeviceTest, ARemovedDeviceIsLetGoAndTakenUpAgainWhenItReturns) {
    const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0/";
    const std::string hidraw = usb + "0003:FFF0:0001.0001/hidraw/hidraw0";
    const std::string before = nodeTerminal(bed_.deviceEnd("/dev/hidraw0"));
    ASSERT_TRUE(waitUntilHeld(before, true));

    bed_.uevent(hidraw, "remove");
    bed_.remove(hidraw);
    bed_.remove(usb + "0003:FFF0:0001.0001");
    EXPECT_TRUE(waitUntilHeld(before, false));

    ASSERT_FALSE(bed_.add("hid-panel-keys-replugged.umockdev").empty());
    bed_.uevent(usb + "0003:FFF0:0001.0005/hidraw/hidraw4", "add");
    EXPECT_TRUE(waitUntilHeld(nodeTerminal(bed_.deviceEnd("/dev/hidraw4")), true));
    EXPECT_EQ(roundTrip("/dev/hidraw4", {0x08, 0x04}), (Report{0x08, 0x04}));
}

}  // namespace
