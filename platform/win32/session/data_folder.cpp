#include "platform/win32/session/data_folder.h"

#include <windows.h>

#include <shlobj.h>

#include "platform/win32/wide.h"

namespace platform::win32 {

std::optional<std::string> resolveDataFolder(const std::string& chosen, std::string& error) {
    std::wstring folder = widen(chosen);
    if (folder.empty()) {
        wchar_t common[MAX_PATH] = {};
        const HRESULT hr =
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, common);
        if (FAILED(hr)) {
            error = "no all-users application-data folder (error " + std::to_string(hr) + ")";
            return std::nullopt;
        }
        folder = std::wstring(common) + L"\\VESKOSD";
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = narrow(folder) + ": error " + std::to_string(GetLastError());
        return std::nullopt;
    }
    return narrow(folder);
}

}  // namespace platform::win32
