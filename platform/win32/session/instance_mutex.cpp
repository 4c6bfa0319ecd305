#include "platform/win32/session/instance_mutex.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/wide.h"

namespace platform::win32 {

bool InstanceMutex::acquire(const std::string& name) {
    std::lock_guard lock(m_);
    if (!held_.empty()) return held_ == name;
    // The handle stays open for the life of the process: the name goes with it.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, widen(name).c_str());
    const DWORD error = GetLastError();
    if (!mutex) {
        std::fprintf(stderr, "veskosd: the instance mutex: error %lu\n", error);
        return false;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    held_ = name;
    return true;
}

}  // namespace platform::win32
