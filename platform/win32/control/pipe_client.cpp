#include "platform/win32/control/pipe_client.h"

#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

constexpr DWORD kBusyWaitMs = 2000;
constexpr int kAttempts = 5;

}  // namespace

HANDLE openPipeClient(const std::string& name) {
    const std::wstring wide = widen(name);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        // Busy: the server is between a connection and its next instance.
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) return h;
        WaitNamedPipeW(wide.c_str(), kBusyWaitMs);
    }
    SetLastError(ERROR_PIPE_BUSY);
    return INVALID_HANDLE_VALUE;
}

}  // namespace platform::win32
