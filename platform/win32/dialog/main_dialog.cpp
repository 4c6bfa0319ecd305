#include "platform/win32/dialog/main_dialog.h"

#include <windows.h>

#include <cstdio>

#include "base/event.h"
#include "base/thread.h"
#include "platform/win32/dialog/forward.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

constexpr int kDialogTemplate = 102;

INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the dialog's user word holds the window object
    auto* window = reinterpret_cast<base::Window*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!window || !forwardedToProgram(message)) return FALSE;
    forwardToProgram(window, message, wParam, lParam);
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

}  // namespace

bool forwardedToProgram(uint32_t message) {
    switch (message) {
        case WM_HOTKEY:
        case WM_CLOSE:
        case WM_DISPLAYCHANGE:
        case WM_DEVICECHANGE:
        case WM_POWERBROADCAST:
            return true;
        default:
            // The program's own messages; registered window messages start at 0xC000.
            return message >= WM_USER && message < 0xC000;
    }
}

bool MainDialog::publish(const std::string& title, base::Window* window) {
    base::Event* created = base::createEvent(true, false);
    const bool started = base::startThread("window", [this, title, window, created] {
        HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate),
                                       nullptr, dialogProc, reinterpret_cast<LPARAM>(window));
        if (hwnd) SetWindowTextW(hwnd, widen(title).c_str());
        hwnd_ = hwnd;
        base::setEvent(created);
        if (!hwnd) {
            std::fprintf(stderr, "veskosd: the main dialog: error %lu\n", GetLastError());
            return;
        }
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(hwnd, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    });
    if (!started) return false;
    base::waitForSingleObject(created, base::kInfinite);
    return hwnd_.load() != nullptr;
}

}  // namespace platform::win32
