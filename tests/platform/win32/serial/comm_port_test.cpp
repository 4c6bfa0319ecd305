// The serial line over a pair of linked ptys that Wine opens as serial ports (with_ptys.sh hands
// over their paths): one end is the port under test, the other stands for the display
// controller. WaitCommEvent itself is stood in for where Wine cannot show it working.
#include "platform/win32/serial/comm_port.h"

#include "platform/win32/serial/comm_calls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/win32/serial/pty_paths.h"

namespace {

using platform::SerialPort;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

const Bytes kFrame{0x02, 0x00, 0x00, 0x01, 0x7E, 0x00, 0x02, 0x02, 0x2A, 0x03};
const Bytes kReport{0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x08, 0x00, 0x03};

// The line set up as the program sets it: 9600 8N1, the 128 ms interval, received characters.
void configure(SerialPort& p) {
    platform::LineSettings s;
    ASSERT_TRUE(p.getState(s));
    s.baudRate = 9600;
    s.byteSize = 8;
    s.parity = false;
    s.stopBits = 1;
    ASSERT_TRUE(p.setState(s));
    ASSERT_TRUE(p.setReadIntervalTimeout(128));
    ASSERT_TRUE(p.setReceiveMask());
}

// A wait and a read of up to `size` bytes, as the receive thread does them, given 5 s at most;
// a read still blocked then is ended by closing the port.
std::optional<Bytes> receive(const std::shared_ptr<SerialPort>& p, std::size_t size = 10) {
    auto done = std::async(std::launch::async, [p, size]() -> std::optional<Bytes> {
        if (!p->waitForReceive()) return std::nullopt;
        Bytes b(size);
        const int n = p->read(b.data(), b.size());
        if (n < 0) return std::nullopt;
        b.resize(static_cast<std::size_t>(n));
        return b;
    });
    if (done.wait_for(5s) != std::future_status::ready) {
        p->close();
        ADD_FAILURE() << "the receive did not end within 5 s";
    }
    return done.get();
}

class CommPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring portPath = testsupport::ptyPath("VESKOSD_TEST_PORT");
        const std::wstring peerPath = testsupport::ptyPath("VESKOSD_TEST_PEER");
        ASSERT_FALSE(portPath.empty() || peerPath.empty())
            << "run through with_ptys.sh, which makes the ptys";
        peer = platform::win32::CommPorts(peerPath).open();
        ASSERT_TRUE(peer);
        configure(*peer);
        port = open(portPath);
    }
    void TearDown() override {
        if (port) port->close();
        if (peer) peer->close();
    }
    std::shared_ptr<SerialPort> open(const std::wstring& path,
                                     const platform::win32::CommCalls& calls = {}) {
        auto p = platform::win32::CommPorts(path, calls).open();
        if (p) configure(*p);
        return p;
    }
    void send(const std::shared_ptr<SerialPort>& from, const Bytes& bytes) {
        ASSERT_TRUE(from->write(bytes.data(), bytes.size()));
    }
    std::shared_ptr<SerialPort> port, peer;
};

TEST_F(CommPortTest, AFrameGoesOutAndAReportComesBack) {
    ASSERT_TRUE(port);
    send(port, kFrame);
    EXPECT_EQ(receive(peer), kFrame);
    send(peer, kReport);
    EXPECT_EQ(receive(port), kReport);
    // Two frames in a row are two reads of ten.
    send(peer, kReport);
    send(peer, kFrame);
    EXPECT_EQ(receive(port), kReport);
    EXPECT_EQ(receive(port), kFrame);
}

TEST_F(CommPortTest, AGapLongerThanTheIntervalEndsARead) {
    ASSERT_TRUE(port);
    // Three bytes and no more: the read ends with them instead of waiting for seven others.
    send(peer, Bytes(kReport.begin(), kReport.begin() + 3));
    EXPECT_EQ(receive(port), Bytes(kReport.begin(), kReport.begin() + 3));
    // A lone byte, then the rest well past the interval: two reads.
    send(peer, Bytes(kReport.begin(), kReport.begin() + 1));
    auto first = std::async(std::launch::async, [&] { return receive(port); });
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(first.get(), Bytes(kReport.begin(), kReport.begin() + 1));
    send(peer, Bytes(kReport.begin() + 1, kReport.end()));
    EXPECT_EQ(receive(port), Bytes(kReport.begin() + 1, kReport.end()));
}

TEST_F(CommPortTest, CloseEndsAWaitAndEveryLaterCall) {
    ASSERT_TRUE(port);
    auto waiting = std::async(std::launch::async, [&] { return port->waitForReceive(); });
    // Nothing arrives: the wait is still on when the port is closed.
    EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout);
    port->close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(port->waitForReceive());
    uint8_t b[10];
    EXPECT_EQ(port->read(b, sizeof(b)), -1);
    EXPECT_FALSE(port->write(kFrame.data(), kFrame.size()));
}

TEST_F(CommPortTest, TheLineTakesTheSettingsAsked) {
    ASSERT_TRUE(port);
    // A pty keeps eight bits without parity whatever it is asked.
    platform::LineSettings s{19200, 8, false, 2};
    ASSERT_TRUE(port->setState(s));
    platform::LineSettings got;
    ASSERT_TRUE(port->getState(got));
    EXPECT_EQ(got.baudRate, 19200u);
    EXPECT_EQ(got.stopBits, 2u);
    configure(*port);
    ASSERT_TRUE(port->getState(got));
    EXPECT_EQ(got.baudRate, 9600u);
    EXPECT_EQ(got.byteSize, 8u);
    EXPECT_FALSE(got.parity);
    EXPECT_EQ(got.stopBits, 1u);
}

TEST(CommPorts, APortThatIsNotThereDoesNotOpen) {
    EXPECT_EQ(platform::win32::CommPorts(L"\\\\.\\COM9").open(), nullptr);
    EXPECT_EQ(platform::win32::CommPorts(L"\\\\?\\unix\\nonexistent\\tty").open(), nullptr);
}

// WaitCommEvent as the platform has it: pending until a character arrives. The fake completes
// the wait once the test says the bytes are there; its cancel ends a wait still pending.
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;

struct FakeWait {
    std::mutex m;
    std::condition_variable started;
    OVERLAPPED* pending = nullptr;
    DWORD* mask = nullptr;
    int calls = 0;
    void reset() {
        std::lock_guard lock(m);
        pending = nullptr;
        mask = nullptr;
        calls = 0;
    }
} fakeWait;

BOOL WINAPI pendingWait(HANDLE, LPDWORD mask, LPOVERLAPPED ov) {
    std::lock_guard lock(fakeWait.m);
    ++fakeWait.calls;
    ov->Internal = STATUS_PENDING;
    fakeWait.pending = ov;
    fakeWait.mask = mask;
    fakeWait.started.notify_all();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void completeWait(DWORD mask, DWORD status) {
    std::lock_guard lock(fakeWait.m);
    ASSERT_NE(fakeWait.pending, nullptr);
    *fakeWait.mask = mask;
    fakeWait.pending->Internal = status;
    SetEvent(fakeWait.pending->hEvent);
    fakeWait.pending = nullptr;
}

BOOL WINAPI cancelWait(HANDLE h, LPOVERLAPPED ov) {
    {
        std::lock_guard lock(fakeWait.m);
        if (fakeWait.pending && (!ov || ov == fakeWait.pending)) {
            fakeWait.pending->Internal = kStatusCancelled;
            SetEvent(fakeWait.pending->hEvent);
            fakeWait.pending = nullptr;
        }
    }
    return CancelIoEx(h, ov);
}

bool waitPending() {
    std::unique_lock lock(fakeWait.m);
    return fakeWait.started.wait_for(lock, 5s, [] { return fakeWait.pending != nullptr; });
}

TEST_F(CommPortTest, WaitCommEventAnnouncesAFrameThatOneReadTakesWhole) {
    fakeWait.reset();
    auto p = open(testsupport::ptyPath("VESKOSD_TEST_PORT"),
                  platform::win32::CommCalls{pendingWait, cancelWait});
    ASSERT_TRUE(p);
    port.reset();
    auto waiting = std::async(std::launch::async, [&] { return p->waitForReceive(); });
    ASSERT_TRUE(waitPending());
    send(peer, kReport);
    completeWait(EV_RXCHAR, 0);
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(waiting.get());
    Bytes b(10);
    EXPECT_EQ(p->read(b.data(), b.size()), 10);
    EXPECT_EQ(b, kReport);

    // A wait that reports another event is no frame; a wait still pending ends with the port.
    waiting = std::async(std::launch::async, [&] { return p->waitForReceive(); });
    ASSERT_TRUE(waitPending());
    completeWait(EV_BREAK, 0);
    EXPECT_FALSE(waiting.get());
    waiting = std::async(std::launch::async, [&] { return p->waitForReceive(); });
    ASSERT_TRUE(waitPending());
    p->close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_EQ(fakeWait.calls, 3);
}

BOOL WINAPI failingWait(HANDLE, LPDWORD, LPOVERLAPPED) {
    ++fakeWait.calls;
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
}

TEST_F(CommPortTest, AWaitCommEventThatFailsIsNotAskedAgain) {
    fakeWait.reset();
    auto p = open(testsupport::ptyPath("VESKOSD_TEST_PORT"),
                  platform::win32::CommCalls{failingWait, CancelIoEx});
    ASSERT_TRUE(p);
    port.reset();
    send(peer, kFrame);
    EXPECT_EQ(receive(p), kFrame);
    send(peer, kReport);
    EXPECT_EQ(receive(p), kReport);
    EXPECT_EQ(fakeWait.calls, 1);
    p->close();
}

}  // namespace
