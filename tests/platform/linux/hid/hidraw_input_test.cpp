#include "platform/linux/hid/hidraw_input.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "base/window.h"
#include "tests/platform/linux/hid/fixtures.h"

namespace {

using namespace std::chrono_literals;
using platform::linux_adapter::HidrawChange;
using platform::linux_adapter::HidrawDevices;
using platform::linux_adapter::HidrawNode;
using platform::linux_adapter::HidrawOptions;
using platform::linux_adapter::makeHidrawInput;

// Hidraw nodes played by packet sockets: one end is handed to the reader on open, the test
// writes reports into the other. Plugging and unplugging go through a change queue with an
// eventfd, as udev's monitor would.
class FakeHidraw final : public HidrawDevices {
public:
    FakeHidraw() : changesFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~FakeHidraw() override {
        for (auto& [path, node] : nodes_) {
            if (node.readerEnd >= 0) close(node.readerEnd);
            close(node.testEnd);
        }
        close(changesFd_);
    }

    // Returns the end the test writes reports into.
    int plug(const std::string& name, const std::string& descriptor, int refusals = 0) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return -1;
        std::lock_guard lock(m_);
        const std::string syspath = "/sys/class/hidraw/" + name;
        if (auto old = nodes_.find(syspath); old != nodes_.end()) {
            if (old->second.readerEnd >= 0) close(old->second.readerEnd);
            close(old->second.testEnd);
        }
        nodes_[syspath] = {
            {syspath, "/dev/" + name}, hidtest::fixture(descriptor), ends[0], ends[1], refusals};
        if (started_) queueChange({true, nodes_[syspath].node});
        return ends[1];
    }

    void unplug(const std::string& name) {
        std::lock_guard lock(m_);
        queueChange({false, {"/sys/class/hidraw/" + name, "/dev/" + name}});
    }

    int opens() {
        std::lock_guard lock(m_);
        return opens_;
    }

    std::vector<HidrawNode> start() override {
        std::lock_guard lock(m_);
        started_ = true;
        std::vector<HidrawNode> present;
        for (const auto& [path, node] : nodes_) present.push_back(node.node);
        return present;
    }
    int changesFd() override { return changesFd_; }
    std::optional<HidrawChange> nextChange() override {
        std::lock_guard lock(m_);
        if (changes_.empty()) {
            uint64_t n = 0;
            (void)!read(changesFd_, &n, sizeof(n));
            return std::nullopt;
        }
        auto change = changes_.front();
        changes_.pop_front();
        return change;
    }
    std::vector<uint8_t> reportDescriptor(const HidrawNode& node, std::string& error) override {
        std::lock_guard lock(m_);
        const auto it = nodes_.find(node.syspath);
        if (it == nodes_.end()) error = "gone";
        return it == nodes_.end() ? std::vector<uint8_t>{} : it->second.descriptor;
    }
    // The reader gets the only descriptor of its end: once it lets go, the test's end hangs up.
    int open(const HidrawNode& node) override {
        std::lock_guard lock(m_);
        ++opens_;
        const auto it = nodes_.find(node.syspath);
        if (it == nodes_.end() || it->second.readerEnd < 0) return -ENOENT;
        if (it->second.refusals > 0) {
            --it->second.refusals;
            return -EACCES;
        }
        return std::exchange(it->second.readerEnd, -1);
    }

private:
    struct Node {
        HidrawNode node;
        std::vector<uint8_t> descriptor;
        int readerEnd;
        int testEnd;
        int refusals;
    };
    void queueChange(HidrawChange change) {
        changes_.push_back(std::move(change));
        const uint64_t one = 1;
        (void)!write(changesFd_, &one, sizeof(one));
    }

    std::mutex m_;
    std::map<std::string, Node> nodes_;
    std::deque<HidrawChange> changes_;
    bool started_ = false;
    int opens_ = 0;
    const int changesFd_;
};

class HidrawInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.queue().setPostObserver([this](const base::Message& m) {
            std::lock_guard lock(m_);
            if (m.message == WM_INPUT) posted_.push_back(m.lParam);
            cv_.notify_all();
        });
    }
    void TearDown() override {
        input_.reset();
        window_.queue().setPostObserver(nullptr);
        base::MessageQueue::Item item;
        while (window_.queue().pending() > 0) window_.queue().get(item);
    }

    void startInput(HidrawOptions options = {}) {
        options.devices = fake_;
        input_ = makeHidrawInput(options);
    }
    bool registerCollection(uint16_t page, uint16_t usage) {
        return input_->registerDevice(page, usage, platform::RIDEV_INPUTSINK, &window_);
    }

    // The reports posted so far, read through the port, once `count` have come.
    std::vector<std::vector<uint8_t>> waitForReports(std::size_t count) {
        std::unique_lock lock(m_);
        EXPECT_TRUE(cv_.wait_for(lock, 5s, [&] { return posted_.size() >= count; }))
            << "only " << posted_.size() << " of " << count << " reports came";
        std::vector<std::vector<uint8_t>> reports;
        for (const auto handle : posted_) {
            auto record = input_->getRawInputData(handle);
            EXPECT_TRUE(record);
            if (!record) continue;
            EXPECT_EQ(record->type, platform::RIM_TYPEHID);
            reports.push_back(record->report);
            EXPECT_FALSE(input_->getRawInputData(handle)) << "a record is read once";
        }
        posted_.clear();
        return reports;
    }

    static void send(int fd, std::vector<uint8_t> report) {
        ASSERT_EQ(write(fd, report.data(), report.size()), static_cast<ssize_t>(report.size()));
    }

    // The reader closed its end of the node.
    static bool waitForHangup(int testEnd) {
        pollfd p{testEnd, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (poll(&p, 1, 100) > 0 && (p.revents & POLLHUP)) return true;
        }
        return false;
    }

    std::shared_ptr<FakeHidraw> fake_ = std::make_shared<FakeHidraw>();
    base::Window window_;
    std::unique_ptr<platform::RawInput> input_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<base::LPARAM> posted_;
};

TEST_F(HidrawInputTest, ReportsOfARegisteredCollectionArePostedInOrder) {
    const int panel = fake_->plug("hidraw0", "panel_keys");
    startInput();
    EXPECT_FALSE(input_->registerDevice(0xFF01, 0x0004, 0, nullptr));
    ASSERT_TRUE(registerCollection(0xFF01, 0x0004));
    send(panel, {0x08, 0x03});
    send(panel, {0x08, 0x01});
    EXPECT_EQ(waitForReports(2), (std::vector<std::vector<uint8_t>>{{0x08, 0x03}, {0x08, 0x01}}));
    EXPECT_FALSE(input_->getRawInputData(12345));
}

TEST_F(HidrawInputTest, OnlyTheRegisteredCollectionOfAMultiCollectionDeviceIsHeard) {
    const int device = fake_->plug("hidraw1", "multi_collection");
    startInput();
    ASSERT_TRUE(registerCollection(0xFF01, 0x0004));
    send(device, {0x03, 0xE9, 0x00});                    // consumer control: not registered
    send(device, {0x02, 0, 0, 0x04, 0, 0, 0, 0, 0});     // keyboard: not registered
    send(device, {0x01, 0, 0, 0, 0, 0x35, 0, 0, 0, 0});  // select keys: not registered
    send(device, {0x08, 0x02});
    // Reports are read in order, so the others were passed over by the time this one came.
    EXPECT_EQ(waitForReports(1), (std::vector<std::vector<uint8_t>>{{0x08, 0x02}}));
}

TEST_F(HidrawInputTest, AReportOfADeviceWithoutReportIdsCarriesIdZero) {
    const int device = fake_->plug("hidraw2", "extended_usage");
    startInput();
    ASSERT_TRUE(registerCollection(0xFFBC, 0x0089));
    send(device, {0x08, 0x03, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(waitForReports(1),
              (std::vector<std::vector<uint8_t>>{{0x00, 0x08, 0x03, 0, 0, 0, 0, 0, 0}}));
}

TEST_F(HidrawInputTest, AGoneDeviceIsDroppedAndPickedUpWhenItReturns) {
    int panel = fake_->plug("hidraw0", "panel_keys");
    startInput();
    ASSERT_TRUE(registerCollection(0xFF01, 0x0004));
    send(panel, {0x08, 0x03});
    ASSERT_EQ(waitForReports(1).size(), 1u);

    // Hang-up without a word from udev: the reader lets go of the node.
    shutdown(panel, SHUT_WR);
    EXPECT_TRUE(waitForHangup(panel));

    // It comes back as a new node.
    panel = fake_->plug("hidraw3", "panel_keys");
    send(panel, {0x08, 0x04});
    EXPECT_EQ(waitForReports(1), (std::vector<std::vector<uint8_t>>{{0x08, 0x04}}));

    // Removed as udev tells it, while still open.
    fake_->unplug("hidraw3");
    EXPECT_TRUE(waitForHangup(panel));
    panel = fake_->plug("hidraw3", "panel_keys");
    send(panel, {0x08, 0x01});
    EXPECT_EQ(waitForReports(1), (std::vector<std::vector<uint8_t>>{{0x08, 0x01}}));
}

TEST_F(HidrawInputTest, ARefusedOpenIsTriedAgainUntilUdevHasGrantedAccess) {
    startInput({.openRetries = 5, .firstRetryDelay = 1ms});
    ASSERT_TRUE(registerCollection(0xFF01, 0x0004));
    const int panel = fake_->plug("hidraw0", "panel_keys", 3);
    send(panel, {0x08, 0x02});
    EXPECT_EQ(waitForReports(1), (std::vector<std::vector<uint8_t>>{{0x08, 0x02}}));
    EXPECT_EQ(fake_->opens(), 4);
}

TEST_F(HidrawInputTest, ALaterRegistrationOpensDevicesAlreadyKnown) {
    const int consumer = fake_->plug("hidraw0", "multi_collection");
    const int panel = fake_->plug("hidraw1", "panel_keys");
    startInput();
    ASSERT_TRUE(registerCollection(0x000C, 0x0001));
    send(consumer, {0x03, 0xE9, 0x00});
    // Both nodes were looked at before this report could be read.
    ASSERT_EQ(waitForReports(1).size(), 1u);
    EXPECT_EQ(fake_->opens(), 1);

    ASSERT_TRUE(registerCollection(0xFF01, 0x0004));
    send(panel, {0x08, 0x03});
    send(consumer, {0x08, 0x04});
    const auto reports = waitForReports(2);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(fake_->opens(), 2);
}

}  // namespace
