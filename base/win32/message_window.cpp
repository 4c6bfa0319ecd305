#include "base/win32/message_window.h"

#include <windows.h>

#include <cstdio>

namespace base::win32 {

namespace {

constexpr UINT kWake = WM_APP + 0x3FF;
constexpr wchar_t kClassName[] = L"VeskosdMessageQueue";

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

void* createMessageWindow() {
    HWND hwnd = nullptr;
    if (registerClass()) {
        hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
    if (!hwnd) std::fprintf(stderr, "veskosd: message window: error %lu\n", GetLastError());
    return hwnd;
}

void destroyMessageWindow(void* window) {
    auto* hwnd = static_cast<HWND>(window);
    if (!hwnd) return;
    // Only the owner may destroy it; from elsewhere its loop does so on WM_CLOSE.
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
        DestroyWindow(hwnd);
    } else {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
}

bool ownsMessageWindow(void* window) {
    return window &&
           GetWindowThreadProcessId(static_cast<HWND>(window), nullptr) == GetCurrentThreadId();
}

bool postWake(void* window) {
    return PostMessageW(static_cast<HWND>(window), kWake, 0, 0) != 0;
}

LoopResult takeNextMessage(void* window) {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got < 0) {
        std::fprintf(stderr, "veskosd: message loop: error %lu\n", GetLastError());
        return LoopResult::Failed;
    }
    if (got > 0 && msg.hwnd == static_cast<HWND>(window) && msg.message == kWake) {
        return LoopResult::Woken;
    }
    // A WM_QUIT for the thread is not the queue's quit: it is taken and the wait goes on.
    if (got > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return LoopResult::Dispatched;
}

}  // namespace base::win32
