#include "platform/win32/input/message_thread.h"

#include <windows.h>

#include <cstdio>
#include <future>

namespace platform::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VESKOSD input";
// Private to this window class: run the work its lParam points to, or end the loop.
constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT kQuitMessage = WM_APP + 2;

}  // namespace

struct MessageThreadAccess {
    static bool handle(MessageThread* thread, UINT message, WPARAM wParam, LPARAM lParam) {
        return thread->handler_ && thread->handler_(message, wParam, lParam);
    }
};

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kCallMessage:
            // NOLINTNEXTLINE(performance-no-int-to-ptr): call() passes its work by address
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        case kQuitMessage:
            DestroyWindow(hwnd);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's user word holds its thread object
    auto* thread = reinterpret_cast<MessageThread*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (thread && MessageThreadAccess::handle(thread, message, wParam, lParam)) return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

MessageThread::MessageThread(Handler handler) : handler_(std::move(handler)) {
    std::promise<void*> created;
    std::future<void*> window = created.get_future();
    thread_ =
        std::thread([this, &created] { run([&created](void* hwnd) { created.set_value(hwnd); }); });
    hwnd_ = window.get();
}

MessageThread::~MessageThread() {
    if (hwnd_) PostMessageW(static_cast<HWND>(hwnd_), kQuitMessage, 0, 0);
    if (thread_.joinable()) thread_.join();
}

void MessageThread::run(const std::function<void(void*)>& created) {
    HWND hwnd = nullptr;
    if (registerClass()) {
        hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
    if (!hwnd) {
        std::fprintf(stderr, "veskosd: the input window: error %lu\n", GetLastError());
        created(nullptr);
        return;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    created(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool MessageThread::call(const std::function<void()>& work) const {
    if (!hwnd_) return false;
    SendMessageW(static_cast<HWND>(hwnd_), kCallMessage, 0, reinterpret_cast<LPARAM>(&work));
    return true;
}

}  // namespace platform::win32
