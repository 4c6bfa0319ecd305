#include "platform/win32/serial/device_notices.h"

#include <windows.h>

#include <dbt.h>

#include <cstdio>

#include "base/event.h"
#include "base/thread.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VESKOSD device notices";

LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the creation record comes with the message
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_DESTROY) {
        PostQuitMessage(0);
    } else if (message == WM_DEVICECHANGE && lParam) {
        const LONG_PTR owner = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's user data holds its owner
        const auto* self = reinterpret_cast<const DeviceChangeNotices*>(owner);
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the record comes with the message
        const auto* record = reinterpret_cast<const void*>(lParam);
        if (self) self->onDeviceChange(static_cast<uint32_t>(wParam), record);
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

DeviceChangeNotices::~DeviceChangeNotices() {
    if (handleNotice_) UnregisterDeviceNotification(handleNotice_);
    // Handled on the window's own thread, so never in the middle of a notice.
    if (auto* hwnd = static_cast<HWND>(hwnd_.load())) SendMessageW(hwnd, WM_CLOSE, 0, 0);
}

void DeviceChangeNotices::start(std::function<void(const DeviceNotice&)> deliver) {
    if (hwnd_.load()) return;
    deliver_ = std::move(deliver);
    base::Event* created = base::createEvent(true, false);
    const bool started = base::startThread("device-notices", [this, created] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);
        // Top-level, never shown: port broadcasts reach no message-only window.
        HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, wc.hInstance, this);
        hwnd_ = hwnd;
        base::setEvent(created);
        if (!hwnd) {
            std::fprintf(stderr, "veskosd: device notices: error %lu\n", GetLastError());
            return;
        }
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    if (started) base::waitForSingleObject(created, base::kInfinite);
}

bool DeviceChangeNotices::registerHandle(intptr_t handle) {
    auto* hwnd = static_cast<HWND>(hwnd_.load());
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the port's handle as the core keeps it
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    if (!hwnd || h == INVALID_HANDLE_VALUE || !h) return false;
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = h;
    HDEVNOTIFY notice = RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notice) return false;
    std::lock_guard lock(m_);
    if (handleNotice_) UnregisterDeviceNotification(handleNotice_);
    handleNotice_ = notice;
    return true;
}

void DeviceChangeNotices::onDeviceChange(uint32_t event, const void* record) const {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(record);
    DeviceNotice notice{event, header->dbch_devicetype, {}};
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
        if (header->dbch_size < offsetof(DEV_BROADCAST_PORT_W, dbcp_name)) return;
        const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
        // The name runs to the end of the record, whatever its terminator.
        const std::size_t room =
            (header->dbch_size - offsetof(DEV_BROADCAST_PORT_W, dbcp_name)) / sizeof(wchar_t);
        std::size_t n = 0;
        while (n < room && port->dbcp_name[n]) ++n;
        notice.name = narrow(std::wstring_view(port->dbcp_name, n));
    } else if (header->dbch_devicetype != DBT_DEVTYP_HANDLE) {
        return;
    }
    deliver_(notice);
}

}  // namespace platform::win32
