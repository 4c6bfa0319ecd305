// Raw input on Windows: RegisterRawInputDevices for the collections asked for, and
// GetRawInputData when WM_INPUT arrives. Both on a message thread of its own, whose
// message-only window is the registrations' target: a record is read at once on that thread
// (the system frees it after the message) and kept, and WM_INPUT goes to the program's window
// naming the kept record. The read is a seam (raw_input_calls.h) for the tests.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/raw_input.h"
#include "platform/win32/input/message_thread.h"

namespace platform::win32 {

struct RawInputCalls;

class WindowsRawInput final : public RawInput {
public:
    WindowsRawInput();
    explicit WindowsRawInput(const RawInputCalls& calls);
    // Removes its registrations.
    ~WindowsRawInput() override;
    WindowsRawInput(const WindowsRawInput&) = delete;
    WindowsRawInput& operator=(const WindowsRawInput&) = delete;

    // The reports of every registered collection go to the last target registered.
    bool registerDevice(uint16_t usagePage, uint16_t usage, uint32_t flags,
                        base::Window* target) override;
    std::optional<RawInputRecord> getRawInputData(base::LPARAM handle) override;

    // The message-only window (an HWND) that hears WM_INPUT; for the tests.
    void* window() const { return thread_->window(); }

private:
    bool onMessage(uint32_t message, uint64_t wParam, int64_t lParam);

    std::unique_ptr<RawInputCalls> calls_;
    RawInputRecords records_;
    std::atomic<base::Window*> target_{nullptr};
    std::atomic<bool> malformedLogged_{false};
    std::mutex m_;
    std::vector<std::pair<uint16_t, uint16_t>> registered_;  // usage page, usage
    // Last: it ends before what its messages use.
    std::unique_ptr<MessageThread> thread_;
};

}  // namespace platform::win32
