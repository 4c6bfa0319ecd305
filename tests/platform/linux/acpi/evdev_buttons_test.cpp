#include "platform/linux/acpi/evdev_buttons.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "base/event.h"

namespace platform::linux_adapter {
namespace {

input_event key(uint16_t code, int32_t value, uint16_t type = EV_KEY) {
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
}

std::vector<uint32_t> drain(NotifyQueue& queue) {
    std::vector<uint32_t> codes;
    while (const auto code = queue.pop()) codes.push_back(*code);
    return codes;
}

TEST(EvdevButtons, MapsPressAndReleaseOfTheThreeVolumeKeysOnly) {
    EXPECT_EQ(notifyCodeForKey(key(KEY_MUTE, 1)), 0xC7u);
    EXPECT_EQ(notifyCodeForKey(key(KEY_MUTE, 0)), 0xC6u);
    EXPECT_EQ(notifyCodeForKey(key(KEY_VOLUMEUP, 1)), 0xC8u);
    EXPECT_EQ(notifyCodeForKey(key(KEY_VOLUMEUP, 0)), 0xC9u);
    EXPECT_EQ(notifyCodeForKey(key(KEY_VOLUMEDOWN, 1)), 0xCAu);
    EXPECT_EQ(notifyCodeForKey(key(KEY_VOLUMEDOWN, 0)), 0xCBu);
    // The kernel's repeats, other keys, and other event types with a volume key's number.
    EXPECT_FALSE(notifyCodeForKey(key(KEY_VOLUMEUP, 2)));
    EXPECT_FALSE(notifyCodeForKey(key(KEY_VOLUMEUP, -1)));
    EXPECT_FALSE(notifyCodeForKey(key(KEY_A, 1)));
    EXPECT_FALSE(notifyCodeForKey(key(KEY_MUTE, 1, EV_MSC)));
    EXPECT_FALSE(notifyCodeForKey(key(SYN_REPORT, 0, EV_SYN)));
}

class ButtonPipe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0); }
    void TearDown() override {
        if (fds_[1] >= 0) close(fds_[1]);
        if (reader_.joinable()) reader_.join();
        close(fds_[0]);
    }
    void send(const std::vector<input_event>& events) {
        const auto bytes = static_cast<ssize_t>(events.size() * sizeof(input_event));
        ASSERT_EQ(write(fds_[1], events.data(), bytes), bytes);
    }
    void startReader() {
        reader_ = std::thread([this] {
            readButtons(
                fds_[0], [this](input_event& ev) { return readRawEvent(fds_[0], ev); }, queue_);
        });
    }
    void hangUp() {
        close(fds_[1]);
        fds_[1] = -1;
        reader_.join();
    }

    int fds_[2] = {-1, -1};
    NotifyQueue queue_;
    std::thread reader_;
};

TEST_F(ButtonPipe, ARecordedHoldGivesOnePressAndOneRelease) {
    // A hold of volume up as the kernel reports it: scan code, key, sync, repeats, release.
    send({key(MSC_SCAN, 0xE0, EV_MSC), key(KEY_VOLUMEUP, 1), key(SYN_REPORT, 0, EV_SYN),
          key(KEY_VOLUMEUP, 2), key(SYN_REPORT, 0, EV_SYN), key(KEY_VOLUMEUP, 2),
          key(KEY_VOLUMEUP, 0), key(SYN_REPORT, 0, EV_SYN), key(KEY_A, 1), key(KEY_MUTE, 1),
          key(KEY_MUTE, 0)});
    startReader();
    hangUp();
    EXPECT_EQ(drain(queue_), (std::vector<uint32_t>{0xC8, 0xC9, 0xC7, 0xC6}));
}

TEST_F(ButtonPipe, EachCodeSetsTheEventAsItArrives) {
    base::Event* event = base::createEvent(false, false);
    queue_.setEvent(event);
    startReader();
    send({key(KEY_VOLUMEDOWN, 1), key(SYN_REPORT, 0, EV_SYN)});
    ASSERT_EQ(base::waitForSingleObject(event, 5000), base::kWaitObject0);
    EXPECT_EQ(queue_.pop(), 0xCAu);
    send({key(KEY_VOLUMEDOWN, 0)});
    ASSERT_EQ(base::waitForSingleObject(event, 5000), base::kWaitObject0);
    EXPECT_EQ(queue_.pop(), 0xCBu);
    hangUp();
}

TEST_F(ButtonPipe, ATornRecordEndsTheReadingAndKeepsWhatCameBefore) {
    const input_event press = key(KEY_MUTE, 1);
    send({press});
    ASSERT_EQ(write(fds_[1], &press, sizeof(press) / 2), static_cast<ssize_t>(sizeof(press) / 2));
    startReader();
    // The reader returns by itself, without the hang-up.
    reader_.join();
    EXPECT_EQ(drain(queue_), (std::vector<uint32_t>{0xC7}));
}

}  // namespace
}  // namespace platform::linux_adapter
