#include "tests/platform/win32/ping_window.h"

#include <windows.h>

namespace testsupport {

namespace {

constexpr UINT kPing = WM_USER + 7;

LRESULT CALLBACK pingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's user word holds the queue
        auto* queue = reinterpret_cast<base::MessageQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        queue->post({nullptr, kPinged, wParam, 0});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void* makePingWindow(base::MessageQueue* queue) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = pingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VeskosdPingTest";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(queue));
    return hwnd;
}

void ping(void* window, uint64_t number) {
    PostMessageW(static_cast<HWND>(window), kPing, number, 0);
}

void destroyPingWindow(void* window) {
    DestroyWindow(static_cast<HWND>(window));
}

void postThreadQuit() {
    PostQuitMessage(0);
}

}  // namespace testsupport
