// A stand-in for PowrProf, User32's optional functions and the shutdown calls: each call is
// logged as one line, with whether the shutdown privilege was enabled at the time where it
// matters.
#pragma once

#include "platform/win32/power/power_calls.h"

#include <set>
#include <string>
#include <vector>

namespace fake_power {

struct System {
    bool powrProfPresent = true;
    // Names the lookup does not find.
    std::set<std::string> missing;
    DWORD valueResult = ERROR_SUCCESS;
    DWORD readValue = 3;
    DWORD activeResult = ERROR_SUCCESS;
    GUID active{};
    BOOL shutdownResult = TRUE;
    HANDLE registration = reinterpret_cast<HANDLE>(0x77);
    HWND registeredWindow = nullptr;
    std::vector<std::string> log;
    // Loads minus frees, per library.
    int powrProfLoads = 0;
    int user32Loads = 0;
};

// Each test starts it afresh with reset().
extern System fake;
void reset();
platform::win32::PowerCalls calls();

bool shutdownPrivilegeEnabled();

}  // namespace fake_power
