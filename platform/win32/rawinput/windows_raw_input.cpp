#include "platform/win32/rawinput/windows_raw_input.h"

#include "base/window.h"
#include "platform/win32/rawinput/raw_input_record.h"

// After the port's header: from here on the system's macros name the messages.
#include <windows.h>

#include <cstdio>

#include "platform/win32/rawinput/raw_input_calls.h"

namespace platform::win32 {

WindowsRawInput::WindowsRawInput() : WindowsRawInput(RawInputCalls{}) {}

WindowsRawInput::WindowsRawInput(const RawInputCalls& calls)
    : calls_(std::make_unique<RawInputCalls>(calls)),
      thread_(std::make_unique<MessageThread>(
          [this](uint32_t message, uint64_t wParam, int64_t lParam) {
              return onMessage(message, wParam, lParam);
          })) {}

WindowsRawInput::~WindowsRawInput() {
    std::lock_guard l(m_);
    for (const auto& [usagePage, usage] : registered_) {
        RAWINPUTDEVICE device{usagePage, usage, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&device, 1, sizeof device);
    }
}

bool WindowsRawInput::registerDevice(uint16_t usagePage, uint16_t usage, uint32_t flags,
                                     base::Window* target) {
    if (!target) return false;
    bool registered = false;
    DWORD error = ERROR_INVALID_WINDOW_HANDLE;
    thread_->call([&] {
        RAWINPUTDEVICE device{usagePage, usage, flags, static_cast<HWND>(thread_->window())};
        registered = RegisterRawInputDevices(&device, 1, sizeof device) != FALSE;
        if (!registered) error = GetLastError();
    });
    if (!registered) {
        std::fprintf(stderr, "veskosd: raw input 0x%04x/0x%04x: error %lu\n", usagePage, usage,
                     error);
        return false;
    }
    target_ = target;
    std::lock_guard l(m_);
    registered_.emplace_back(usagePage, usage);
    return true;
}

std::optional<RawInputRecord> WindowsRawInput::getRawInputData(base::LPARAM handle) {
    return records_.take(handle);
}

bool WindowsRawInput::onMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    if (message != WM_INPUT) return false;
    base::Window* target = target_.load();
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_INPUT's lParam is the record's handle
    auto* rawInput = reinterpret_cast<void*>(lParam);
    std::optional<RawInputRecord> record = readRawInputRecord(*calls_, rawInput);
    if (!record) {
        if (!malformedLogged_.exchange(true)) {
            std::fprintf(stderr,
                         "veskosd: a raw-input record could not be read; such are dropped\n");
        }
    } else if (target) {
        const base::LPARAM kept = records_.put(std::move(*record));
        // A window that does not keep up loses the report, not the daemon its memory.
        if (!target->queue().postFromOutside({target, WM_INPUT, wParam, kept})) {
            records_.take(kept);
        }
    }
    // The default procedure frees the system's record.
    return false;
}

}  // namespace platform::win32
