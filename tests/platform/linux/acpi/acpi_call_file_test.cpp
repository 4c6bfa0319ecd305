// The acpi_call driver through its file: a pty stands in for /proc/acpi/call, answering each
// method written with the text the module would give, so the adapter's write-then-read runs as
// it does on the machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/globals.h"
#include "app/message_box.h"
#include "base/little_endian.h"
#include "brightness/levels.h"
#include "input/acpi_channel.h"
#include "platform/linux/acpi/acpi_drivers.h"
#include "platform/linux/acpi/acpi_proc_call.h"
#include "platform/ports.h"

namespace {

using platform::linux_adapter::AcpiOptions;
using platform::linux_adapter::kAcpiCallMethodCode;
using platform::linux_adapter::makeAcpiDrivers;

// The module's file on a pty. Every method path written is answered with its reply and the
// module's terminating NUL. A request is held a moment for a second one: calls that overlap
// then both wait for an answer on the same file, as they would on the module.
class AcpiCallStandIn {
public:
    AcpiCallStandIn(std::string prefix, std::map<std::string, std::string> replies)
        : prefix_(std::move(prefix)), replies_(std::move(replies)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        char name[64] = {};
        if (ptsname_r(master_, name, sizeof(name)) != 0) return;
        // Held open, so the line lives on between the adapter's opens.
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return;
        cfmakeraw(&t);
        if (tcsetattr(slave_, TCSANOW, &t) != 0) return;
        path_ = name;
        stop_ = eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { serve(); });
    }
    ~AcpiCallStandIn() {
        if (thread_.joinable()) {
            const uint64_t one = 1;
            (void)!write(stop_, &one, sizeof(one));
            thread_.join();
        }
        for (const int fd : {master_, slave_, stop_}) {
            if (fd >= 0) close(fd);
        }
    }
    AcpiCallStandIn(const AcpiCallStandIn&) = delete;
    AcpiCallStandIn& operator=(const AcpiCallStandIn&) = delete;

    const std::string& path() const { return path_; }
    // What the module answers a read that comes without a method: unblocks a reader whose reply
    // another took.
    void answerUnasked() const {
        const std::string text("not called", sizeof("not called"));
        (void)!write(master_, text.data(), text.size());
    }
    std::vector<std::string> written() {
        std::lock_guard l(m_);
        return written_;
    }

private:
    // Waits for input or the stop; false on the stop.
    bool wait(int timeoutMs, bool& readable) const {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        readable = false;
        if (poll(fds, 2, timeoutMs) < 0) return false;
        if (fds[1].revents != 0) return false;
        readable = (fds[0].revents & POLLIN) != 0;
        return true;
    }

    void serve() {
        const std::size_t length = prefix_.size() + 4;  // every method path is this long
        std::string pending;
        for (;;) {
            bool readable = false;
            // Holding one request, a second gets 10 ms to come.
            const int timeout = pending.size() >= length ? 10 : -1;
            if (!wait(timeout, readable)) return;
            if (readable) {
                char buf[256];
                const ssize_t n = read(master_, buf, sizeof(buf));
                if (n <= 0) return;
                pending.append(buf, static_cast<std::size_t>(n));
                if (pending.size() < 2 * length) continue;
            }
            while (pending.size() >= length) {
                const std::string method = pending.substr(0, length);
                pending.erase(0, length);
                {
                    std::lock_guard l(m_);
                    written_.push_back(method);
                }
                std::string reply = "Error: AE_NOT_FOUND";
                if (method.starts_with(prefix_)) {
                    const auto it = replies_.find(method.substr(prefix_.size()));
                    if (it != replies_.end()) reply = it->second;
                }
                reply.push_back('\0');
                if (write(master_, reply.data(), reply.size()) !=
                    static_cast<ssize_t>(reply.size())) {
                    return;
                }
            }
        }
    }

    std::string prefix_;
    std::map<std::string, std::string> replies_;
    int master_ = -1;
    int slave_ = -1;
    int stop_ = -1;
    std::string path_;
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> written_;
};

constexpr const char* kPrefix = "\\_SB.PCI0.LPCB.EC0.";
constexpr const char* kLevels =
    "{0x0d, 0x00, 0x00, 0x0a, 0x14, 0x1e, 0x28, 0x32, 0x3c, 0x46, 0x50, "
    "0x5a, 0x64}";

std::array<uint8_t, 20> request(const char* name) {
    return makeAcpiMethodRequest(name);
}

struct Reply {
    bool ok = false;
    uint32_t returned = 0;
    std::array<uint8_t, 512> out{};
};

Reply call(platform::AcpiDevice& device, const char* name) {
    Reply r;
    r.ok = device.control(kAcpiCallMethodCode, request(name), r.out, r.returned);
    return r;
}

TEST(AcpiCallFile, EachReplyKindAndTheErrorComeThroughTheModuleFile) {
    AcpiCallStandIn module(kPrefix, {{"MBID", "0x2"},
                                     {"QZLV", kLevels},
                                     {"NAME", "\"VESKO\""},
                                     {"PKGS", "[0x1, {0x07}]"},
                                     {"TLCD", ""}});
    ASSERT_FALSE(module.path().empty());
    auto drivers = makeAcpiDrivers({.methodPrefix = kPrefix, .callPath = module.path()});
    const auto device = drivers->open("ZRBACPI");
    ASSERT_NE(device, nullptr);

    const Reply model = call(*device, "MBID");
    ASSERT_TRUE(model.ok);
    EXPECT_EQ(model.returned, 20u);
    EXPECT_EQ(base::readLe16(model.out, 12), 0);  // integer
    EXPECT_EQ(base::readLe32(model.out, 16), 2u);

    const Reply levels = call(*device, "QZLV");
    ASSERT_TRUE(levels.ok);
    EXPECT_EQ(base::readLe16(levels.out, 12), 2);  // buffer
    EXPECT_EQ(base::readLe16(levels.out, 14), 13);
    EXPECT_EQ(levels.out[18], 0x00);
    EXPECT_EQ(levels.out[28], 0x64);

    const Reply name = call(*device, "NAME");
    ASSERT_TRUE(name.ok);
    EXPECT_EQ(base::readLe16(name.out, 12), 1);  // string
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&name.out[16])), "VESKO");

    const Reply package = call(*device, "PKGS");
    ASSERT_TRUE(package.ok);
    EXPECT_EQ(base::readLe16(package.out, 12), 3);
    EXPECT_EQ(base::readLe32(package.out, 20), 1u);
    EXPECT_EQ(package.out[28], 7);

    const Reply none = call(*device, "TLCD");
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.returned, 12u);  // the header alone

    // The module's error text is a failed call that leaves the count alone.
    Reply error;
    error.returned = 77;
    EXPECT_FALSE(device->control(kAcpiCallMethodCode, request("XXXX"), error.out, error.returned));
    EXPECT_EQ(error.returned, 77u);

    EXPECT_EQ(module.written(), (std::vector<std::string>{
                                    std::string(kPrefix) + "MBID", std::string(kPrefix) + "QZLV",
                                    std::string(kPrefix) + "NAME", std::string(kPrefix) + "PKGS",
                                    std::string(kPrefix) + "TLCD", std::string(kPrefix) + "XXXX"}));
}

// Two threads, each with the driver opened for itself, call at once: every reply is the one for
// the caller's own method.
TEST(AcpiCallFile, CallsOfTwoThreadsNeverTakeEachOthersReply) {
    AcpiCallStandIn module("", {{"MBID", "0x1"}, {"QZLV", kLevels}});
    ASSERT_FALSE(module.path().empty());
    auto drivers = makeAcpiDrivers({.methodPrefix = "", .callPath = module.path()});
    std::atomic<int> wrong{0};
    std::atomic<int> finished{0};
    auto caller = [&](const char* method, auto check) {
        const auto device = drivers->open("ZRBACPI");
        for (int i = 0; device && i < 40; ++i) {
            const Reply r = call(*device, method);
            if (!r.ok || !check(r)) ++wrong;
        }
        if (!device) wrong += 1000;
        ++finished;
    };
    std::thread gui(caller, "MBID", [](const Reply& r) {
        return base::readLe16(r.out, 12) == 0 && base::readLe32(r.out, 16) == 1;
    });
    std::thread other(caller, "QZLV", [](const Reply& r) {
        return base::readLe16(r.out, 12) == 2 && base::readLe16(r.out, 14) == 13;
    });
    // A caller whose reply the other took would wait for ever: answered after ten seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (finished < 2) {
        if (std::chrono::steady_clock::now() > deadline) module.answerUnasked();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    gui.join();
    other.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(module.written().size(), 80u);
}

class AcpiModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        clearShownMessageBoxes();
    }
    void TearDown() override {
        platform::installPorts({});
        resetGlobals();
    }
    void openWith(const AcpiOptions& options) {
        platform::Ports p;
        p.acpiDrivers = makeAcpiDrivers(options);
        platform::installPorts(std::move(p));
        OpenAcpiChannel();
    }
};

TEST_F(AcpiModelTest, TheFirmwaresModelWinsOverTheGivenOne) {
    AcpiCallStandIn module(kPrefix, {{"MBID", "0x1"}, {"QZLV", kLevels}});
    ASSERT_FALSE(module.path().empty());
    openWith({.methodPrefix = kPrefix, .callPath = module.path(), .model = 2});
    EXPECT_EQ(dwModelID.load(), 1u);
    EXPECT_EQ(bOSDModel.load(), 1);
    EXPECT_EQ(dwBCLLevelCount.load(), 11u);
    EXPECT_TRUE(shownMessageBoxes().empty());
}

TEST_F(AcpiModelTest, WithoutAnAnswerTheGivenModelIsTaken) {
    // The module is there but refuses the method: no answer either.
    AcpiCallStandIn module(kPrefix, {});
    ASSERT_FALSE(module.path().empty());
    openWith({.methodPrefix = kPrefix, .callPath = module.path(), .model = 2});
    EXPECT_EQ(dwModelID.load(), 2u);
    EXPECT_EQ(bOSDModel.load(), 0);

    resetGlobals();
    openWith({.methodPrefix = kPrefix, .callPath = "/nonexistent/acpi/call", .model = 2});
    EXPECT_EQ(dwModelID.load(), 2u);
    EXPECT_EQ(bOSDModel.load(), 0);
    // The driver was configured: its absence is still a message box.
    ASSERT_EQ(shownMessageBoxes().size(), 1u);
    EXPECT_EQ(shownMessageBoxes()[0].text, "Can't Open ACPI kernel Mode Driver");
}

TEST_F(AcpiModelTest, ANeverConfiguredDriverIsNoMessageBox) {
    openWith({.callPath = "/nonexistent/acpi/call"});
    EXPECT_TRUE(shownMessageBoxes().empty());
    EXPECT_EQ(hACPIDevice.load(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(dwModelID.load(), 0u);
    EXPECT_EQ(bOSDModel.load(), 1);
    openWith({.devicePath = "/nonexistent/zrbacpi", .callPath = "/nonexistent/acpi/call"});
    EXPECT_EQ(shownMessageBoxes().size(), 1u);
}

}  // namespace
