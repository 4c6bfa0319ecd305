// The ptys with_ptys.sh made, as paths Wine opens as serial ports.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

// "\\?\unix\dev\pts\N" for the pty named by the environment variable; empty when it is unset.
inline std::wstring ptyPath(const char* variable) {
    // Read before any thread of the test starts.
    const char* path = std::getenv(variable);  // NOLINT(concurrency-mt-unsafe)
    if (!path) return {};
    std::wstring out = L"\\\\?\\unix";
    for (const char* c = path; *c; ++c) out += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
    return out;
}

}  // namespace testsupport
