// The client's end of the control pipe.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// Opens the pipe for overlapped I/O, waiting a little while every instance is busy;
// INVALID_HANDLE_VALUE with the last error set when there is none to be had.
HANDLE openPipeClient(const std::string& name);

}  // namespace platform::win32
