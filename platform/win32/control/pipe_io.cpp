#include "platform/win32/control/pipe_io.h"

namespace platform::win32 {

namespace {

class Overlapped {
public:
    Overlapped() { o_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (o_.hEvent) CloseHandle(o_.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OVERLAPPED* get() { return &o_; }

    // Completes an operation that returned `started`; false on failure or time-out, when the
    // operation is cancelled before this returns.
    bool finish(HANDLE h, BOOL started, DWORD timeoutMs, DWORD& transferred) {
        if (!o_.hEvent) return false;
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(o_.hEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIoEx(h, &o_);
            GetOverlappedResult(h, &o_, &transferred, TRUE);
            return false;
        }
        return GetOverlappedResult(h, &o_, &transferred, FALSE) != 0;
    }

private:
    OVERLAPPED o_{};
};

}  // namespace

bool connectPipe(HANDLE pipe) {
    Overlapped o;
    if (ConnectNamedPipe(pipe, o.get())) return true;
    if (GetLastError() == ERROR_PIPE_CONNECTED) return true;
    DWORD unused = 0;
    return o.finish(pipe, FALSE, INFINITE, unused);
}

bool readPipeLine(HANDLE pipe, std::string& line, std::size_t maxBytes, DWORD timeoutMs) {
    line.clear();
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    char buffer[512];
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        Overlapped o;
        DWORD n = 0;
        const BOOL started = ReadFile(pipe, buffer, sizeof(buffer), nullptr, o.get());
        if (!o.finish(pipe, started, static_cast<DWORD>(deadline - now), n) || n == 0) {
            return false;
        }
        line.append(buffer, n);
        const std::size_t newline = line.find('\n');
        if (newline != std::string::npos) {
            line.resize(newline);
            return line.size() <= maxBytes;
        }
        if (line.size() > maxBytes) return false;
    }
}

bool writePipe(HANDLE pipe, const std::string& bytes, DWORD timeoutMs) {
    Overlapped o;
    DWORD n = 0;
    const BOOL started =
        WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, o.get());
    return o.finish(pipe, started, timeoutMs, n) && n == bytes.size();
}

}  // namespace platform::win32
