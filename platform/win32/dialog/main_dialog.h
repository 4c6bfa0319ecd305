// The real dialog window (template 102) that stands for the program's main window: other
// processes find it by its title and post to it; what they post reaches the window object's
// queue, where the program's procedure runs on the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/window_directory.h"

namespace platform::win32 {

class MainDialog : public WindowDirectory {
public:
    // Creates the hidden dialog on a thread of its own that runs its message loop; the title is
    // set, and the window thus findable, only when published.
    bool publish(const std::string& title, base::Window* window) override;
    // The dialog's HWND once published.
    void* handle() const { return hwnd_.load(); }

private:
    std::atomic<void*> hwnd_{nullptr};
};

// Whether a message that arrived at the dialog is one the program handles, and so goes on to
// its window object; the rest is the dialog manager's.
bool forwardedToProgram(uint32_t message);

}  // namespace platform::win32
