#include "platform/win32/serial/comm_port.h"

#include <atomic>
#include <cstdio>

#include "platform/win32/serial/comm_calls.h"

namespace platform::win32 {

namespace {

std::atomic<bool> fallbackLogged{false};

enum class Io { Done, Failed, Closed };

// One overlapped operation's event, manual-reset as GetOverlappedResult expects.
class Overlapped {
public:
    Overlapped() { ov_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (ov_.hEvent) CloseHandle(ov_.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    bool valid() const { return ov_.hEvent != nullptr; }
    // Zeroed but for the event, ready for the next operation.
    OVERLAPPED* fresh() {
        HANDLE event = ov_.hEvent;
        ov_ = OVERLAPPED{};
        ov_.hEvent = event;
        ResetEvent(event);
        return &ov_;
    }

private:
    OVERLAPPED ov_{};
};

class CommPort final : public SerialPort {
public:
    CommPort(HANDLE h, HANDLE closed, const CommCalls& calls)
        : h_(h), closed_(closed), calls_(calls) {}
    ~CommPort() override {
        CloseHandle(h_);
        CloseHandle(closed_);
    }
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    bool valid() const { return wait_.valid() && read_.valid() && write_.valid(); }

    bool getState(LineSettings& s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(h_, &dcb)) return false;
        s.baudRate = dcb.BaudRate;
        s.byteSize = dcb.ByteSize;
        s.parity = dcb.Parity != NOPARITY;
        s.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
        return true;
    }

    bool setState(const LineSettings& s) override {
        // Everything but these four stays as the driver reports it.
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(h_, &dcb)) return false;
        dcb.BaudRate = s.baudRate;
        dcb.ByteSize = s.byteSize;
        dcb.Parity = s.parity ? EVENPARITY : NOPARITY;
        dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        return SetCommState(h_, &dcb) != FALSE;
    }

    bool setReadIntervalTimeout(uint32_t ms) override {
        interval_ = ms;
        return setReadTimeouts(0);
    }

    bool setReceiveMask() override { return SetCommMask(h_, EV_RXCHAR) != FALSE; }

    bool waitForReceive() override {
        if (closing_) return false;
        if (held_) return true;
        if (dead_) return restUntilClosed();
        if (!fallback_) {
            DWORD mask = 0;
            DWORD n = 0;
            DWORD error = 0;
            OVERLAPPED* ov = wait_.fresh();
            const Io r = finish(calls_.waitCommEvent(h_, &mask, ov), ov, n, error);
            if (r == Io::Closed) return false;
            if (r == Io::Done) return (mask & EV_RXCHAR) != 0;
            fallback_ = true;
            if (!fallbackLogged.exchange(true)) {
                std::fprintf(stderr,
                             "veskosd: WaitCommEvent fails on the serial line (error %lu); "
                             "waiting with one-byte reads instead\n",
                             error);
            }
        }
        // The interval alone bounds nothing before the first byte: this read lasts until one
        // comes.
        DWORD n = 0;
        DWORD error = 0;
        OVERLAPPED* ov = read_.fresh();
        const Io r = finish(ReadFile(h_, &byte_, 1, nullptr, ov), ov, n, error);
        if (r == Io::Closed) return false;
        if (r == Io::Failed || n == 0) {
            // A line that fails even this, or ends, has lost its far end.
            dead_ = true;
            return restUntilClosed();
        }
        held_ = true;
        return true;
    }

    int read(uint8_t* buffer, std::size_t size) override {
        if (closing_ || size == 0) return closing_ ? -1 : 0;
        std::size_t got = 0;
        if (held_) {
            buffer[0] = byte_;
            held_ = false;
            got = 1;
            if (size == 1) return 1;
        }
        // After a byte taken by the fallback wait, the rest might never come: the read is then
        // bounded as a gap after that byte would be.
        const bool bounded = got > 0;
        if (bounded && !setReadTimeouts(interval_)) return static_cast<int>(got);
        DWORD n = 0;
        DWORD error = 0;
        OVERLAPPED* ov = read_.fresh();
        const Io r = finish(ReadFile(h_, buffer + got, static_cast<DWORD>(size - got), nullptr, ov),
                            ov, n, error);
        if (bounded) setReadTimeouts(0);
        if (r == Io::Closed) return -1;
        // A read ended by its time-out still brings what it got.
        got += n;
        if (r == Io::Failed && got == 0) return -1;
        return static_cast<int>(got);
    }

    bool write(const uint8_t* buffer, std::size_t size) override {
        if (closing_) return false;
        DWORD n = 0;
        DWORD error = 0;
        OVERLAPPED* ov = write_.fresh();
        const Io r =
            finish(WriteFile(h_, buffer, static_cast<DWORD>(size), nullptr, ov), ov, n, error);
        return r == Io::Done && n == size;
    }

    void close() override {
        if (closing_.exchange(true)) return;
        SetEvent(closed_);
        // Ends whatever the two threads have under way; the handle itself goes with the last
        // user.
        calls_.cancelIo(h_, nullptr);
    }

    intptr_t handle() const override { return reinterpret_cast<intptr_t>(h_); }

private:
    // The interval rule, with a bound on the whole read (0: none).
    bool setReadTimeouts(DWORD total) {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = interval_;
        t.ReadTotalTimeoutConstant = total;
        return SetCommTimeouts(h_, &t) != FALSE;
    }

    // Waits for an operation started with `started` to end, or for the port to close.
    Io finish(BOOL started, OVERLAPPED* ov, DWORD& n, DWORD& error) {
        n = 0;
        if (!started) {
            error = GetLastError();
            if (error != ERROR_IO_PENDING) return closing_ ? Io::Closed : Io::Failed;
            HANDLE both[2] = {ov->hEvent, closed_};
            if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0) {
                // Closed, or a wait that cannot be: the operation must end before its
                // structure goes.
                calls_.cancelIo(h_, ov);
                GetOverlappedResult(h_, ov, &n, TRUE);
                return Io::Closed;
            }
        }
        if (!GetOverlappedResult(h_, ov, &n, FALSE)) {
            error = GetLastError();
            return closing_ ? Io::Closed : Io::Failed;
        }
        return Io::Done;
    }

    bool restUntilClosed() {
        WaitForSingleObject(closed_, INFINITE);
        return false;
    }

    HANDLE h_;
    HANDLE closed_;  // set once by close()
    CommCalls calls_;
    Overlapped wait_, read_, write_;  // the receive thread's two, the send thread's one
    std::atomic<bool> closing_{false};
    DWORD interval_ = 128;
    // Receive thread only.
    bool fallback_ = false;
    bool dead_ = false;
    bool held_ = false;  // a byte the fallback wait read, for the next read
    uint8_t byte_ = 0;
};

}  // namespace

CommPorts::CommPorts(std::wstring path)
    : path_(std::move(path)), calls_(std::make_unique<CommCalls>()) {}

CommPorts::CommPorts(std::wstring path, const CommCalls& calls)
    : path_(std::move(path)), calls_(std::make_unique<CommCalls>(calls)) {}

CommPorts::~CommPorts() = default;

std::shared_ptr<SerialPort> CommPorts::open() {
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!closed) {
        CloseHandle(h);
        return nullptr;
    }
    auto port = std::make_shared<CommPort>(h, closed, *calls_);
    if (!port->valid()) return nullptr;
    return port;
}

}  // namespace platform::win32
