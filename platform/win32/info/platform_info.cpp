#include "platform/win32/info/platform_info.h"

#include <windows.h>

namespace platform::win32 {

uint32_t WindowsPlatformInfo::majorVersion() {
    if (forced_ != 0) return forced_;
    // GetVersionExW is capped at 6.2 without a manifest; the kernel's own call is not.
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (get && get(&info) == 0) return info.dwMajorVersion;
    return GetVersionExW(&info) ? info.dwMajorVersion : 6;
}

}  // namespace platform::win32
