// Device-change notices from the system: the arrival and removal of ports, broadcast to every
// top-level window, and the query-remove of the open port's handle, registered with
// RegisterDeviceNotificationW. A hidden window of their own, on a thread of its own, receives
// them, so the main dialog needs no part in it.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/serial.h"

namespace platform::win32 {

class DeviceChangeNotices final : public DeviceNotices {
public:
    DeviceChangeNotices() = default;
    // Ends the window and its thread; no notice is delivered after.
    ~DeviceChangeNotices() override;
    DeviceChangeNotices(const DeviceChangeNotices&) = delete;
    DeviceChangeNotices& operator=(const DeviceChangeNotices&) = delete;

    void start(std::function<void(const DeviceNotice&)> deliver) override;
    // Replaces the registration of the handle before it.
    bool registerHandle(intptr_t handle) override;
    // The window that receives the notices, once started.
    void* window() const { return hwnd_.load(); }
    // A WM_DEVICECHANGE's event and record, told to the core when it is about a port or a
    // handle. Window thread.
    void onDeviceChange(uint32_t event, const void* record) const;

private:
    std::function<void(const DeviceNotice&)> deliver_;
    std::atomic<void*> hwnd_{nullptr};
    std::mutex m_;
    void* handleNotice_ = nullptr;
};

}  // namespace platform::win32
