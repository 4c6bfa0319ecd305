// Hands a message that reached a system window to the window object's queue. Kept apart from
// <windows.h>, whose message macros would clash with base/'s names.
#pragma once

#include <cstdint>

namespace base {
class Window;
}

namespace platform::win32 {

// False, with a line on stderr, when the queue refused it as full.
bool forwardToProgram(base::Window* window, uint32_t message, uint64_t wParam, int64_t lParam);

}  // namespace platform::win32
