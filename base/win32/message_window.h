// The message-only window a thread's queue waits on, kept apart from the program's message
// numbers, which share their names with the system header's macros.
#pragma once

namespace base::win32 {

// Null when no window can be made; then the caller waits another way.
void* createMessageWindow();
// From any thread: the owner's loop closes it when asked from elsewhere.
void destroyMessageWindow(void* window);
// True on the thread that made the window, while it lives.
bool ownsMessageWindow(void* window);
// Queues a wake-up for the window's owner; false when the thread's queue refuses it.
bool postWake(void* window);

enum class LoopResult {
    Woken,       // the window's own wake-up was taken
    Dispatched,  // another message of the thread was taken and dispatched (or a WM_QUIT, dropped)
    Failed,      // the loop itself failed
};
// Takes the calling thread's next message, waiting for one.
LoopResult takeNextMessage(void* window);

}  // namespace base::win32
