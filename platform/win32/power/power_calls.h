// The power calls Wine cannot show, replaceable for the tests: the optional functions are
// reached through the library lookup (Wine lacks PowrProf's value calls; a program importing
// them aborts), and ExitWindowsEx ends every process of a Wine prefix.
#pragma once

#include <windows.h>

namespace platform::win32 {

struct PowerCalls {
    decltype(&LoadLibraryW) loadLibrary = LoadLibraryW;
    decltype(&GetProcAddress) lookUp = GetProcAddress;
    decltype(&FreeLibrary) freeLibrary = FreeLibrary;
    decltype(&SetThreadExecutionState) setExecutionState = SetThreadExecutionState;
    decltype(&InitiateSystemShutdownW) initiateShutdown = InitiateSystemShutdownW;
    decltype(&ExitWindowsEx) exitWindows = ExitWindowsEx;
};

}  // namespace platform::win32
