// A thread of its own with a message-only window and the loop that pumps it. The system hands
// hot keys, low-level hooks and raw input only to a thread that pumps messages, and the
// program's GUI thread runs the core's queue instead. Kept apart from <windows.h>, whose
// message macros would clash with base/'s names in the adapters that use it.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace platform::win32 {

class MessageThread {
public:
    // Called on the thread for each message that reaches the window; true when it was handled
    // there, false to leave it to the default procedure.
    using Handler = std::function<bool(uint32_t message, uint64_t wParam, int64_t lParam)>;

    // Starts the thread and waits until its window exists (or could not be made).
    explicit MessageThread(Handler handler);
    // Ends the loop and waits for the thread.
    ~MessageThread();
    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

    // The window (an HWND); null when it could not be made.
    void* window() const { return hwnd_; }
    // Runs `work` on the thread and returns once it has run; false, with nothing run, when there
    // is no window.
    bool call(const std::function<void()>& work) const;

private:
    void run(const std::function<void(void*)>& created);

    Handler handler_;
    void* hwnd_ = nullptr;
    std::thread thread_;

    friend struct MessageThreadAccess;
};

}  // namespace platform::win32
