#include "platform/win32/dialog/forward.h"

#include <cstdio>

#include "base/window.h"

namespace platform::win32 {

bool forwardToProgram(base::Window* window, uint32_t message, uint64_t wParam, int64_t lParam) {
    if (window->queue().postFromOutside({window, message, wParam, lParam})) return true;
    std::fprintf(stderr, "veskosd: message 0x%04x dropped: the queue is full\n", message);
    return false;
}

}  // namespace platform::win32
