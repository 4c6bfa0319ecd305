#include "base/os.h"

#include <windows.h>

namespace base::os {

void nameThisThread(const std::string& name) {
    // Windows 10 1607 and later; older systems keep their threads unnamed.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!set) return;
    const std::wstring wide(name.begin(), name.end());
    set(GetCurrentThread(), wide.c_str());
}

void giveBackFreedMemory() {
    HeapCompact(GetProcessHeap(), 0);
}

}  // namespace base::os
