#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/event.h"
#include "platform/linux/acpi/acpi_call_reply.h"
#include "platform/linux/acpi/acpi_char_device.h"
#include "platform/linux/acpi/acpi_proc_call.h"
#include "platform/linux/acpi/evdev_buttons.h"

namespace platform::linux_adapter {
namespace {

constexpr std::array<uint8_t, 20> kMbidRequest{1, 0, 0, 0, 'M', 'B', 'I', 'D'};

struct FakeModule {
    std::vector<std::string> written;
    std::optional<std::string> reply;
    AcpiCallTransact transact() {
        return [this](const std::string& method) {
            written.push_back(method);
            return reply;
        };
    }
};

TEST(AcpiProcCallDevice, CallsThePrefixedMethodAndReturnsTheReplyLayout) {
    FakeModule module;
    module.reply = std::string("0x2\0", 4);
    AcpiProcCallDevice device("\\_SB.PCI0.LPCB.EC0.", module.transact(),
                              std::make_shared<NotifyQueue>());
    std::array<uint8_t, 512> out{};
    uint32_t returned = 512;
    ASSERT_TRUE(device.control(kAcpiCallMethodCode, kMbidRequest, out, returned));
    EXPECT_EQ(module.written, std::vector<std::string>{"\\_SB.PCI0.LPCB.EC0.MBID"});
    EXPECT_EQ(returned, 20u);
    EXPECT_EQ(out[16], 2);

    // Failures leave the returned count alone.
    module.reply = "Error: AE_NOT_FOUND";
    EXPECT_FALSE(device.control(kAcpiCallMethodCode, kMbidRequest, out, returned));
    module.reply.reset();
    EXPECT_FALSE(device.control(kAcpiCallMethodCode, kMbidRequest, out, returned));
    module.reply = "{0x01, 0x02}";
    EXPECT_FALSE(
        device.control(kAcpiCallMethodCode, kMbidRequest, std::span(out).first(17), returned));
    EXPECT_EQ(returned, 20u);

    // A name that could smuggle arguments or a second line into the module is never written.
    auto bad = kMbidRequest;
    bad[6] = ' ';
    EXPECT_FALSE(device.control(kAcpiCallMethodCode, bad, out, returned));
    EXPECT_EQ(module.written.size(), 4u);

    EXPECT_TRUE(device.control(kAcpiInitCode, {}, {}, returned));
    EXPECT_TRUE(device.control(kAcpiRegisterEventCode, std::array<uint8_t, 4>{}, out, returned));
    EXPECT_FALSE(device.control(0x222410, {}, out, returned));
}

TEST(AcpiProcCallDevice, NotifyCodesComeOutOneAtATimeAndKeepTheEventSetWhileMoreWait) {
    auto queue = std::make_shared<NotifyQueue>();
    AcpiProcCallDevice device("", FakeModule().transact(), queue);
    base::Event* event = base::createEvent(false, false);
    std::array<uint8_t, 4> out{};
    uint32_t returned = 0;
    EXPECT_FALSE(device.control(kAcpiGetNotifyCode, {}, out, returned));

    // Codes that arrive before the event is registered are not lost.
    queue->push(0xC8);
    device.setNotifyEvent(event);
    EXPECT_TRUE(base::isSignalled(event));
    queue->push(0xC9);
    ASSERT_EQ(base::waitForSingleObject(event, 0), base::kWaitObject0);

    // Two codes, one set seen by the reader: the release must not wait for the next press.
    ASSERT_TRUE(device.control(kAcpiGetNotifyCode, {}, out, returned));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(out, (std::array<uint8_t, 4>{0xC8, 0, 0, 0}));
    ASSERT_EQ(base::waitForSingleObject(event, 0), base::kWaitObject0);
    ASSERT_TRUE(device.control(kAcpiGetNotifyCode, {}, out, returned));
    EXPECT_EQ(out[0], 0xC9);
    EXPECT_FALSE(base::isSignalled(event));
    EXPECT_FALSE(device.control(kAcpiGetNotifyCode, {}, out, returned));

    queue->push(0xCA);
    EXPECT_FALSE(device.control(kAcpiGetNotifyCode, {}, std::span(out).first(3), returned));
}

TEST(NotifyQueue, DropsTheOldestCodesWhenFull) {
    NotifyQueue queue;
    for (uint32_t i = 0; i < NotifyQueue::kCapacity + 6; ++i) queue.push(i);
    EXPECT_EQ(queue.pop(), 6u);
    std::size_t left = 1;
    while (queue.pop()) ++left;
    EXPECT_EQ(left, NotifyQueue::kCapacity);
}

// A driver on the far end of the ioctl: it checks the buffer as the device lays it out.
struct FakeDriver {
    AcpiIoctlHeader header{};
    std::vector<uint8_t> input;
    std::vector<uint8_t> reply;
    int result = 0;
    unsigned long request = 0;
    IoctlCall call() {
        return [this](int, unsigned long r, void* argument) {
            auto* bytes = static_cast<uint8_t*>(argument);
            request = r;
            std::memcpy(&header, bytes, sizeof(header));
            input.assign(bytes + sizeof(header), bytes + sizeof(header) + header.inLength);
            std::memcpy(bytes + sizeof(header), reply.data(), reply.size());
            return result;
        };
    }
};

int devNull() {
    return open("/dev/null", O_RDONLY | O_CLOEXEC);
}

TEST(AcpiCharDevice, PassesInputAndRoomAndTakesBackWhatTheDriverWrote) {
    FakeDriver driver;
    AcpiCharDevice device(devNull(), driver.call());
    driver.reply = {1, 2, 3, 4, 5};
    driver.result = 5;
    std::array<uint8_t, 512> out{};
    uint32_t returned = 0;
    ASSERT_TRUE(device.control(0x222404, kMbidRequest, out, returned));
    EXPECT_EQ(driver.request, 0x222404u);
    EXPECT_EQ(driver.header.inLength, 20u);
    EXPECT_EQ(driver.header.outLength, 512u);
    EXPECT_EQ(driver.input, std::vector<uint8_t>(kMbidRequest.begin(), kMbidRequest.end()));
    EXPECT_EQ(returned, 5u);
    EXPECT_EQ(out[4], 5);

    // A driver failing, or claiming more than the room it had, is a failed call.
    driver.result = -1;
    EXPECT_FALSE(device.control(0x222404, kMbidRequest, out, returned));
    driver.result = 5;
    EXPECT_FALSE(device.control(0x222404, kMbidRequest, std::span(out).first(4), returned));
    EXPECT_EQ(returned, 5u);
}

TEST(AcpiCharDevice, SetsTheEventOncePerPendingCodeAndStopsWhenTheDriverGoesAway) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    // The driver's pending codes are the bytes in the pipe: readable while any wait.
    AcpiCharDevice device(fds[0], [](int fd, unsigned long, void* argument) {
        uint8_t code = 0;
        if (read(fd, &code, 1) != 1) return -1;
        auto* bytes = static_cast<uint8_t*>(argument) + sizeof(AcpiIoctlHeader);
        std::memset(bytes, 0, 4);
        bytes[0] = code;
        return 4;
    });
    base::Event* event = base::createEvent(false, false);
    device.setNotifyEvent(event);
    const uint8_t codes[] = {0xC7, 0xC6};
    ASSERT_EQ(write(fds[1], codes, 2), 2);
    std::array<uint8_t, 4> out{};
    uint32_t returned = 0;
    for (const uint8_t code : codes) {
        ASSERT_EQ(base::waitForSingleObject(event, 5000), base::kWaitObject0);
        ASSERT_TRUE(device.control(0x222408, {}, out, returned));
        EXPECT_EQ(out[0], code);
    }
    close(fds[1]);
}

}  // namespace
}  // namespace platform::linux_adapter
