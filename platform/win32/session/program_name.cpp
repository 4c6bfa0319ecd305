#include "platform/win32/session/program_name.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform::win32 {

std::string programBaseName() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, n);
    const std::size_t slash = full.find_last_of(L"\\/");
    return narrow(slash == std::wstring::npos ? full : full.substr(slash + 1));
}

}  // namespace platform::win32
