#include "platform/win32/power/power_notice_window.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "platform/win32/power/power_guids.h"

namespace platform::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VESKOSD power notices";

// The setting, its data length and the first four bytes of its data.
struct SettingRecord {
    GUID setting;
    DWORD length;
    DWORD data;
};

LRESULT CALLBACK noticeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the system's creation record
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's user data holds its owner
    auto* self = reinterpret_cast<PowerNoticeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_POWERBROADCAST) {
        if (wParam == PBT_POWERSETTINGCHANGE) self->onSettingChange(lParam);
        return TRUE;
    }
    if (self && message == WM_QUERYENDSESSION) {
        self->onQueryEndSession();
        // The program never refuses: a session end it must stop is cancelled by its handler.
        return TRUE;
    }
    if (message == WM_ENDSESSION) return 0;
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct OpenRequest {
    PowerNoticeWindow* owner;
    HWND hwnd = nullptr;
    HANDLE created = nullptr;
};

DWORD WINAPI windowThread(void* parameter) {
    auto* request = static_cast<OpenRequest*>(parameter);
    WNDCLASSW wc{};
    wc.lpfnWndProc = noticeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);  // already there after an earlier window: CreateWindow tells
    // Top-level, not message-only: the session-end query goes to top-level windows only.
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, wc.hInstance, request->owner);
    request->hwnd = hwnd;
    SetEvent(request->created);
    if (!hwnd) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

}  // namespace

PowerNoticeWindow::PowerNoticeWindow(uint32_t sessionEndWaitMs)
    : sessionEndWaitMs_(sessionEndWaitMs) {}

PowerNoticeWindow::~PowerNoticeWindow() {
    if (!thread_) return;
    if (HWND hwnd = static_cast<HWND>(hwnd_.load())) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    // WM_CLOSE destroys the window; its thread's loop ends with WM_QUIT from there.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
}

void* PowerNoticeWindow::open() {
    std::lock_guard lock(openMutex_);
    if (void* hwnd = hwnd_.load()) return hwnd;
    if (thread_) return nullptr;  // it failed once: the system would refuse again
    OpenRequest request{this};
    request.created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!request.created) return nullptr;
    thread_ = CreateThread(nullptr, 0, windowThread, &request, 0, nullptr);
    if (thread_) WaitForSingleObject(request.created, INFINITE);
    CloseHandle(request.created);
    if (!request.hwnd) {
        std::fprintf(stderr, "veskosd: the power notice window: error %lu\n", GetLastError());
    }
    hwnd_ = request.hwnd;
    return request.hwnd;
}

void PowerNoticeWindow::setDeliver(std::function<void(PowerNotice)> deliver) {
    std::lock_guard lock(deliverMutex_);
    deliver_ = std::move(deliver);
}

void PowerNoticeWindow::deliver(PowerNotice notice) {
    std::function<void(PowerNotice)> to;
    {
        std::lock_guard lock(deliverMutex_);
        to = deliver_;
    }
    if (to) to(std::move(notice));
}

void PowerNoticeWindow::onSettingChange(intptr_t record) {
    // Anyone may send this message with any number: the record is copied, never dereferenced.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): only ever read through the copy below
    const auto* at = reinterpret_cast<const void*>(record);
    SettingRecord r{};
    SIZE_T copied = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), at, &r, sizeof r, &copied) || copied != sizeof r ||
        r.length < sizeof r.data) {
        return;
    }
    PowerNotice notice;
    notice.kind = PowerNotice::Kind::SettingChange;
    if (IsEqualGUID(r.setting, kMonitorPowerOn)) {
        notice.setting = PowerSetting::MonitorPowerOn;
    } else if (IsEqualGUID(r.setting, kSchemePersonality)) {
        notice.setting = PowerSetting::SchemePersonality;
    } else {
        return;
    }
    notice.data = r.data;
    deliver(std::move(notice));
}

void PowerNoticeWindow::onQueryEndSession() {
    // Kept alive by whichever of the two ends last: the handler may come after the time-out.
    auto heard = std::shared_ptr<void>(CreateEventW(nullptr, TRUE, FALSE, nullptr), [](void* h) {
        if (h) CloseHandle(h);
    });
    PowerNotice notice;
    notice.kind = PowerNotice::Kind::SessionEnd;
    notice.handled = [heard] {
        if (heard) SetEvent(heard.get());
    };
    {
        std::lock_guard lock(deliverMutex_);
        if (!deliver_) return;
    }
    deliver(std::move(notice));
    if (heard && WaitForSingleObject(heard.get(), sessionEndWaitMs_) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "veskosd: the session end was not handled in %u ms; it goes on\n",
                     sessionEndWaitMs_);
    }
}

}  // namespace platform::win32
