// The window object: the program's procedure first, then the base dialog procedure, which runs
// the message map (paint, drag icon, hot key) and the default handling.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/message_queue.h"
#include "base/messages.h"

namespace base {

using Icon = uintptr_t;

class Window {
public:
    // The window belongs to the calling thread's queue.
    Window();
    virtual ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The program's own procedure; it must end in the base procedure, as the default does.
    virtual LRESULT WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam);
    // Default handling and the message map.
    LRESULT baseWindowProc(uint32_t message, WPARAM wParam, LPARAM lParam);

    // Post from any thread; the window's queue outlives every window, so this never fails.
    bool postMessage(uint32_t message, WPARAM wParam, LPARAM lParam);
    MessageQueue& queue() { return *queue_; }

    void setWindowText(const std::string& text);
    std::string windowText() const;
    Icon icon(bool big) const { return big ? bigIcon_ : smallIcon_; }

protected:
    // Message map entries; empty by default.
    virtual void OnPaint() {}
    virtual Icon OnQueryDragIcon() { return 0; }
    virtual void OnHotKey(uint32_t /*id*/, uint32_t /*modifiers*/, uint32_t /*virtualKey*/) {}
    // Default dialog handling of Enter, Escape and the close command.
    virtual void OnOK() {}
    virtual void OnCancel() {}

private:
    MessageQueue* queue_;
    mutable std::mutex textMutex_;
    std::string text_;
    Icon bigIcon_ = 0;
    Icon smallIcon_ = 0;
};

// Post to a window that may not exist yet; false for a null window.
bool postMessage(Window* window, uint32_t message, WPARAM wParam, LPARAM lParam);

class Dialog : public Window {
public:
    // Runs OnInitDialog, then the modal loop on the calling thread until the queue is told to
    // quit; returns IDCANCEL in that case. A handler that throws is logged on stderr and the
    // loop goes on.
    int DoModal();

protected:
    virtual bool OnInitDialog() { return true; }
};

}  // namespace base
