#include "platform/linux/serial/termios_serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::linux_adapter {

namespace {

speed_t speedOf(uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

uint32_t baudOf(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

class TermiosPort final : public SerialPort {
public:
    TermiosPort(int fd, int wakeRead, int wakeWrite)
        : fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {}
    ~TermiosPort() override {
        ::close(fd_);
        ::close(wakeRead_);
        ::close(wakeWrite_);
    }

    bool getState(LineSettings& s) override {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        s.baudRate = baudOf(cfgetospeed(&t));
        s.byteSize = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 6;
        s.parity = (t.c_cflag & PARENB) != 0;
        s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
        return true;
    }

    bool setState(const LineSettings& s) override {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        // Raw bytes both ways; everything else stays as the driver has it.
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
        t.c_cflag |= s.byteSize == 7 ? CS7 : CS8;
        if (s.parity) t.c_cflag |= PARENB;
        if (s.stopBits == 2) t.c_cflag |= CSTOPB;
        const speed_t speed = speedOf(s.baudRate);
        if (speed == B0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) {
            return false;
        }
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        return tcsetattr(fd_, TCSANOW, &t) == 0;
    }

    bool setReadIntervalTimeout(uint32_t ms) override {
        intervalMs_ = static_cast<int>(ms);
        return true;
    }

    bool setReceiveMask() override { return true; }

    bool waitForReceive() override {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        for (;;) {
            if (closed_) return false;
            // A dead line stays readable for ever: rest until it is closed.
            const int r = poll(hungUp_ ? p + 1 : p, hungUp_ ? 1 : 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || closed_ || (p[1].revents & POLLIN)) return false;
            if (p[0].revents & POLLIN) return true;
            if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                hungUp_ = true;
                continue;
            }
            return false;
        }
    }

    int read(uint8_t* buffer, std::size_t size) override {
        std::size_t got = 0;
        while (got < size && !closed_ && !hungUp_) {
            pollfd p[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            // The first byte is already there; after that a gap longer than the interval ends
            // the read.
            const int r = poll(p, 2, got == 0 ? 0 : intervalMs_);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return -1;
            if (r == 0 || !(p[0].revents & POLLIN)) {
                if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
                break;
            }
            const ssize_t n = ::read(fd_, buffer + got, size - got);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            // End of file on a terminal, or EIO: the far end hung up.
            if (n <= 0) {
                hungUp_ = true;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return got == 0 && hungUp_ ? -1 : static_cast<int>(got);
    }

    bool write(const uint8_t* buffer, std::size_t size) override {
        std::size_t off = 0;
        while (off < size && !closed_) {
            pollfd p[2] = {{fd_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
            if (poll(p, 2, 5000) <= 0 || (p[1].revents & POLLIN)) return false;
            const ssize_t n = ::write(fd_, buffer + off, size - off);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) return false;
            off += static_cast<std::size_t>(n);
        }
        return off == size;
    }

    void close() override {
        if (closed_.exchange(true)) return;
        const char b = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &b, 1);
    }

    intptr_t handle() const override { return fd_; }

private:
    int fd_, wakeRead_, wakeWrite_;
    std::atomic<bool> closed_{false};
    bool hungUp_ = false;  // receive thread only
    int intervalMs_ = 128;
};

}  // namespace

std::shared_ptr<SerialPort> TermiosSerialPorts::open() {
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // No other program may share the line while we own it.
    if (!isatty(fd) || ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<TermiosPort>(fd, wake[0], wake[1]);
}

}  // namespace platform::linux_adapter
