#include "platform/win32/ui/message_box.h"

#include <windows.h>

#include <cstdio>

#include "base/thread.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

void ThreadedMessageBox::show(const std::string& text, const std::string& caption, uint32_t type) {
    // Also in the log, for whoever runs it without a desktop to look at.
    std::fprintf(stderr, "veskosd: %s\n", text.c_str());
    const bool started =
        base::startThread("message box", [text = widen(text), caption = widen(caption), type] {
            MessageBoxW(nullptr, text.c_str(), caption.c_str(), type | MB_SETFOREGROUND);
        });
    if (!started) std::fprintf(stderr, "veskosd: no thread for the message box\n");
}

}  // namespace platform::win32
