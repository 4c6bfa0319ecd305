#include "platform/win32/shell/shell_launcher.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "platform/win32/wide.h"

namespace platform::win32 {

bool ShellLauncher::launch(const std::string& file, const std::string& parameters) {
    const std::wstring wideFile = widen(file);
    const std::wstring wideParameters = widen(parameters);
    // Values above 32 mean started; below, an error code.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", wideFile.c_str(),
        wideParameters.empty() ? nullptr : wideParameters.c_str(), nullptr, SW_SHOWNORMAL));
    if (result > 32) return true;
    std::fprintf(stderr, "veskosd: ShellExecute %s: error %lld\n", file.c_str(),
                 static_cast<long long>(result));
    return false;
}

}  // namespace platform::win32
