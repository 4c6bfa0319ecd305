// A hidden top-level window on a thread of its own that hears what the system tells every
// window or what was registered for it: the session-end query and power-setting changes. They
// are handed on as notices; a session-end query is answered only once its notice was handled
// (or after a time-out), so that the state is saved before the session goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/power.h"

namespace platform::win32 {

class PowerNoticeWindow {
public:
    explicit PowerNoticeWindow(uint32_t sessionEndWaitMs = 5000);
    ~PowerNoticeWindow();
    PowerNoticeWindow(const PowerNoticeWindow&) = delete;
    PowerNoticeWindow& operator=(const PowerNoticeWindow&) = delete;

    // Makes the window once; its handle, or null when it could not be made.
    void* open();
    void setDeliver(std::function<void(PowerNotice)> deliver);

    // For the window procedure; `record` is the message's lParam.
    void onSettingChange(intptr_t record);
    void onQueryEndSession();

private:
    void deliver(PowerNotice notice);

    const uint32_t sessionEndWaitMs_;
    std::mutex openMutex_;
    std::atomic<void*> hwnd_{nullptr};
    void* thread_ = nullptr;
    std::mutex deliverMutex_;
    std::function<void(PowerNotice)> deliver_;
};

}  // namespace platform::win32
