#include "platform/win32/power/windows_power.h"

#include <windows.h>

#include "platform/win32/power/power_calls.h"
#include "platform/win32/power/power_guids.h"
#include "platform/win32/power/power_notice_window.h"
#include "platform/win32/power/scheme_text.h"

namespace platform::win32 {

namespace {

constexpr wchar_t kPowrProf[] = L"PowrProf.dll";
constexpr wchar_t kUser32[] = L"User32.dll";

using GetActiveSchemeFn = DWORD(WINAPI*)(HKEY, GUID**);
using SetActiveSchemeFn = DWORD(WINAPI*)(HKEY, const GUID*);
using ReadValueFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD*);
using WriteValueFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD);
using SetSuspendStateFn = BOOLEAN(WINAPI*)(BOOLEAN, BOOLEAN, BOOLEAN);
using RegisterSettingFn = HANDLE(WINAPI*)(HANDLE, const GUID*, DWORD);
using CancelShutdownFn = BOOL(WINAPI*)();

// An optional function: its library loaded, the function looked up and used, the library
// freed. False, with nothing called, where either is missing.
template <typename Fn, typename Use>
bool withFunction(const PowerCalls& calls, const wchar_t* library, const char* name, Use use) {
    HMODULE module = calls.loadLibrary(library);
    if (!module) return false;
    // Through void(*)(): the one cast of a looked-up function the compiler takes as meant.
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(calls.lookUp(module, name)));
    if (fn) use(fn);
    calls.freeLibrary(module);
    return fn != nullptr;
}

const GUID& buttonSetting(PowerButton button) {
    return button == PowerButton::Power ? kPowerButtonAction : kSleepButtonAction;
}

bool adjustShutdownPrivilege(bool enable) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    bool done = false;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &p.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
        // It succeeds without assigning a privilege the token lacks; only the error tells.
        done = GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return done;
}

}  // namespace

WindowsPower::WindowsPower()
    : calls_(std::make_unique<PowerCalls>()), notices_(std::make_unique<PowerNoticeWindow>()) {}

WindowsPower::WindowsPower(const PowerCalls& calls)
    : calls_(std::make_unique<PowerCalls>(calls)),
      notices_(std::make_unique<PowerNoticeWindow>()) {}

WindowsPower::~WindowsPower() = default;

void WindowsPower::start(std::function<void(PowerNotice)> deliver) {
    notices_->setDeliver(std::move(deliver));
    notices_->open();
}

uintptr_t WindowsPower::registerPowerSetting(PowerSetting setting) {
    HWND hwnd = static_cast<HWND>(notices_->open());
    if (!hwnd) return 0;
    const GUID& guid =
        setting == PowerSetting::MonitorPowerOn ? kMonitorPowerOn : kSchemePersonality;
    HANDLE handle = nullptr;
    withFunction<RegisterSettingFn>(
        *calls_, kUser32, "RegisterPowerSettingNotification",
        [&](RegisterSettingFn fn) { handle = fn(hwnd, &guid, DEVICE_NOTIFY_WINDOW_HANDLE); });
    return reinterpret_cast<uintptr_t>(handle);
}

std::optional<std::string> WindowsPower::activeScheme() {
    std::optional<std::string> scheme;
    withFunction<GetActiveSchemeFn>(*calls_, kPowrProf, "PowerGetActiveScheme",
                                    [&](GetActiveSchemeFn fn) {
                                        GUID* active = nullptr;
                                        if (fn(nullptr, &active) == ERROR_SUCCESS && active) {
                                            scheme = schemeText(*active);
                                        }
                                        if (active) LocalFree(active);
                                    });
    return scheme;
}

bool WindowsPower::schemeFunctionsAvailable() {
    HMODULE module = calls_->loadLibrary(kPowrProf);
    if (!module) return false;
    bool all = true;
    for (const char* name : {"PowerWriteACValueIndex", "PowerReadACValueIndex",
                             "PowerSetActiveScheme", "SetSuspendState"}) {
        if (!calls_->lookUp(module, name)) {
            all = false;
            break;
        }
    }
    calls_->freeLibrary(module);
    return all;
}

std::optional<int32_t> WindowsPower::readButtonAction(const std::string& scheme,
                                                      PowerButton button) {
    const auto guid = parseScheme(scheme);
    if (!guid) return std::nullopt;
    std::optional<int32_t> action;
    withFunction<ReadValueFn>(*calls_, kPowrProf, "PowerReadACValueIndex", [&](ReadValueFn fn) {
        DWORD value = 0;
        if (fn(nullptr, &*guid, &kButtonSubgroup, &buttonSetting(button), &value) ==
            ERROR_SUCCESS) {
            action = static_cast<int32_t>(value);
        }
    });
    return action;
}

bool WindowsPower::writeButtonAction(const std::string& scheme, PowerButton button, int32_t value) {
    const auto guid = parseScheme(scheme);
    if (!guid) return false;
    bool written = false;
    withFunction<WriteValueFn>(*calls_, kPowrProf, "PowerWriteACValueIndex", [&](WriteValueFn fn) {
        written = fn(nullptr, &*guid, &kButtonSubgroup, &buttonSetting(button),
                     static_cast<DWORD>(value)) == ERROR_SUCCESS;
    });
    return written;
}

bool WindowsPower::activateScheme(const std::string& scheme) {
    const auto guid = parseScheme(scheme);
    if (!guid) return false;
    bool active = false;
    withFunction<SetActiveSchemeFn>(
        *calls_, kPowrProf, "PowerSetActiveScheme",
        [&](SetActiveSchemeFn fn) { active = fn(nullptr, &*guid) == ERROR_SUCCESS; });
    return active;
}

void WindowsPower::setExecutionState(uint32_t flags) {
    calls_->setExecutionState(flags);
}

bool WindowsPower::suspend(bool hibernate) {
    bool suspended = false;
    withFunction<SetSuspendStateFn>(*calls_, kPowrProf, "SetSuspendState",
                                    [&](SetSuspendStateFn fn) {
                                        // Not forced; wake events disabled.
                                        suspended = fn(hibernate, FALSE, TRUE) != FALSE;
                                    });
    return suspended;
}

bool WindowsPower::enableShutdownPrivilege() {
    return adjustShutdownPrivilege(true);
}

void WindowsPower::disableShutdownPrivilege() {
    adjustShutdownPrivilege(false);
}

bool WindowsPower::powerOff() {
    return calls_->exitWindows(EWX_POWEROFF | EWX_FORCE, 0) != FALSE;
}

bool WindowsPower::shutdown() {
    // The local machine, no message, no delay, applications asked, no restart.
    return calls_->initiateShutdown(nullptr, nullptr, 0, FALSE, FALSE) != FALSE;
}

bool WindowsPower::cancelShutdown() {
    bool cancelled = false;
    const bool found =
        withFunction<CancelShutdownFn>(*calls_, kUser32, "CancelShutdown",
                                       [&](CancelShutdownFn fn) { cancelled = fn() != FALSE; });
    return found && cancelled;
}

void* WindowsPower::noticeWindow() const {
    return notices_->open();
}

}  // namespace platform::win32
