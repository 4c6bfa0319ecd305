#include "base/window.h"

#include <cstdio>
#include <exception>

namespace base {

Window::Window() : queue_(&MessageQueue::current()) {}

LRESULT Window::WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam) {
    return baseWindowProc(message, wParam, lParam);
}

LRESULT Window::baseWindowProc(uint32_t message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_QUERYDRAGICON:
            return static_cast<LRESULT>(OnQueryDragIcon());
        case WM_HOTKEY:
            // lParam carries the modifiers in its low word and the virtual key in its high word.
            OnHotKey(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam & 0xFFFF),
                     static_cast<uint32_t>((lParam >> 16) & 0xFFFF));
            return 0;
        case WM_SETICON:
            (wParam == ICON_BIG ? bigIcon_ : smallIcon_) = static_cast<Icon>(lParam);
            return 0;
        case WM_CLOSE:
            // A dialog turns the close command into Cancel.
            OnCancel();
            return 0;
        case WM_COMMAND:
            if ((wParam & 0xFFFF) == IDOK) OnOK();
            if ((wParam & 0xFFFF) == IDCANCEL) OnCancel();
            return 0;
        default:
            return 0;
    }
}

bool Window::postMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
    queue_->post(Message{this, message, wParam, lParam});
    return true;
}

void Window::setWindowText(const std::string& text) {
    std::lock_guard lock(textMutex_);
    text_ = text;
}

std::string Window::windowText() const {
    std::lock_guard lock(textMutex_);
    return text_;
}

bool postMessage(Window* window, uint32_t message, WPARAM wParam, LPARAM lParam) {
    return window && window->postMessage(message, wParam, lParam);
}

namespace {

void dispatch(const MessageQueue::Item& item) {
    if (item.task) {
        item.task();
    } else if (item.message.window) {
        item.message.window->WindowProc(item.message.message, item.message.wParam,
                                        item.message.lParam);
    }
}

void logFailure(const MessageQueue::Item& item, const char* what) {
    if (item.task) {
        std::fprintf(stderr, "veskosd: a task on the GUI thread failed: %s; going on\n", what);
    } else {
        std::fprintf(stderr, "veskosd: message 0x%04x failed: %s; going on\n", item.message.message,
                     what);
    }
}

}  // namespace

int Dialog::DoModal() {
    OnInitDialog();
    MessageQueue::Item item;
    while (queue().get(item)) {
        // The last resort: one handler's failure must not end the loop that serves all others.
        try {
            dispatch(item);
        } catch (const std::exception& e) {
            logFailure(item, e.what());
        } catch (...) {
            logFailure(item, "unknown exception");
        }
    }
    return IDCANCEL;
}

}  // namespace base
