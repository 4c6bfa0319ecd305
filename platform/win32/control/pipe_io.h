// Overlapped reads and writes on a pipe with time-outs, for both ends of the control channel.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// Waits for a client on a listening instance.
bool connectPipe(HANDLE pipe);
// Reads up to the first newline, at most `maxBytes`, within `timeoutMs` in all; the line
// without its newline. False on a time-out, an error, or an over-long line.
bool readPipeLine(HANDLE pipe, std::string& line, std::size_t maxBytes, DWORD timeoutMs);
bool writePipe(HANDLE pipe, const std::string& bytes, DWORD timeoutMs);

}  // namespace platform::win32
