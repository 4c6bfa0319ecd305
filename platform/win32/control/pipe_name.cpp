#include "platform/win32/control/pipe_name.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "platform/win32/wide.h"

namespace platform::win32 {

std::optional<std::string> currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size);
    std::optional<std::string> sid;
    if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        wchar_t* text = nullptr;
        if (ConvertSidToStringSidW(user->User.Sid, &text)) {
            sid = narrow(text);
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

std::string controlPipeName(const std::string& sid) {
    return "\\\\.\\pipe\\VESKOSD control " + sid;
}

}  // namespace platform::win32
