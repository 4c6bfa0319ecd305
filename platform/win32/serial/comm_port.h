// The display controller's line through the communications functions with overlapped I/O: a
// wait for received characters (WaitCommEvent), then a read that ends after the bytes asked for
// or a gap longer than the read interval. Where WaitCommEvent fails outright, as it does under
// Wine on a pty, the port waits with a one-byte read instead (logged once per process) and hands
// that byte to the next read, whose wait for the rest is then bounded by the interval.
#pragma once

#include <memory>
#include <string>

#include "platform/serial.h"

namespace platform::win32 {

struct CommCalls;

class CommPorts final : public SerialPorts {
public:
    explicit CommPorts(std::wstring path = L"\\\\.\\COM1");
    CommPorts(std::wstring path, const CommCalls& calls);
    ~CommPorts() override;
    CommPorts(const CommPorts&) = delete;
    CommPorts& operator=(const CommPorts&) = delete;

    std::shared_ptr<SerialPort> open() override;

private:
    std::wstring path_;
    std::unique_ptr<CommCalls> calls_;
};

}  // namespace platform::win32
