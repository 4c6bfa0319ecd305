#include "fake_power_system.h"

#include <cstdio>
#include <string>

#include "platform/win32/power/power_guids.h"
#include "platform/win32/power/scheme_text.h"

namespace fake_power {

System fake;

namespace {

const auto kPowrProfModule = reinterpret_cast<HMODULE>(0x1001);
const auto kUser32Module = reinterpret_cast<HMODULE>(0x1002);

std::string settingName(const GUID* subgroup, const GUID* setting) {
    using namespace platform::win32;
    if (!subgroup || !IsEqualGUID(*subgroup, kButtonSubgroup)) return "?subgroup";
    if (IsEqualGUID(*setting, kPowerButtonAction)) return "power";
    if (IsEqualGUID(*setting, kSleepButtonAction)) return "sleep";
    return "?setting";
}

std::string root(HKEY key) {
    return key ? " ?root" : "";
}

std::string privilege() {
    return shutdownPrivilegeEnabled() ? " privileged" : " unprivileged";
}

HMODULE WINAPI load(LPCWSTR name) {
    const std::wstring n = name;
    if (n == L"PowrProf.dll" && fake.powrProfPresent) {
        ++fake.powrProfLoads;
        return kPowrProfModule;
    }
    if (n == L"User32.dll") {
        ++fake.user32Loads;
        return kUser32Module;
    }
    return nullptr;
}

BOOL WINAPI freeLibrary(HMODULE module) {
    if (module == kPowrProfModule) --fake.powrProfLoads;
    if (module == kUser32Module) --fake.user32Loads;
    return TRUE;
}

DWORD WINAPI getActiveScheme(HKEY key, GUID** active) {
    fake.log.push_back("PowerGetActiveScheme" + root(key));
    if (fake.activeResult != ERROR_SUCCESS) return fake.activeResult;
    *active = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    **active = fake.active;
    return ERROR_SUCCESS;
}

DWORD WINAPI setActiveScheme(HKEY key, const GUID* scheme) {
    fake.log.push_back("PowerSetActiveScheme " + platform::win32::schemeText(*scheme) + root(key));
    return fake.valueResult;
}

DWORD WINAPI readValue(HKEY key, const GUID* scheme, const GUID* subgroup, const GUID* setting,
                       DWORD* value) {
    fake.log.push_back("PowerReadACValueIndex " + platform::win32::schemeText(*scheme) + " " +
                       settingName(subgroup, setting) + root(key));
    if (fake.valueResult == ERROR_SUCCESS) *value = fake.readValue;
    return fake.valueResult;
}

DWORD WINAPI writeValue(HKEY key, const GUID* scheme, const GUID* subgroup, const GUID* setting,
                        DWORD value) {
    fake.log.push_back("PowerWriteACValueIndex " + platform::win32::schemeText(*scheme) + " " +
                       settingName(subgroup, setting) + " " + std::to_string(value) + root(key));
    return fake.valueResult;
}

BOOLEAN WINAPI setSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeEventsDisabled) {
    fake.log.push_back("SetSuspendState " + std::to_string(hibernate) + " " +
                       std::to_string(force) + " " + std::to_string(wakeEventsDisabled));
    return TRUE;
}

HANDLE WINAPI registerSetting(HANDLE recipient, const GUID* setting, DWORD flags) {
    using namespace platform::win32;
    const char* name = IsEqualGUID(*setting, kMonitorPowerOn)      ? "monitor"
                       : IsEqualGUID(*setting, kSchemePersonality) ? "personality"
                                                                   : "?";
    fake.registeredWindow = static_cast<HWND>(recipient);
    fake.log.push_back(std::string("RegisterPowerSettingNotification ") + name + " " +
                       std::to_string(flags));
    return fake.registration;
}

BOOL WINAPI cancelShutdown() {
    fake.log.emplace_back("CancelShutdown");
    return TRUE;
}

EXECUTION_STATE WINAPI setExecutionState(EXECUTION_STATE flags) {
    char b[40];
    std::snprintf(b, sizeof b, "SetThreadExecutionState %08lX", static_cast<unsigned long>(flags));
    fake.log.emplace_back(b);
    return ES_CONTINUOUS;
}

BOOL WINAPI initiateShutdown(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL force,
                             BOOL reboot) {
    fake.log.push_back(std::string("InitiateSystemShutdownW") + (machine ? " ?machine" : "") +
                       (message ? " ?message" : "") + " " + std::to_string(timeout) + " " +
                       std::to_string(force) + " " + std::to_string(reboot) + privilege());
    return fake.shutdownResult;
}

BOOL WINAPI exitWindows(UINT flags, DWORD reason) {
    char b[40];
    std::snprintf(b, sizeof b, "ExitWindowsEx %X %lu", flags, static_cast<unsigned long>(reason));
    fake.log.push_back(b + privilege());
    return TRUE;
}

template <typename Fn>
FARPROC asProc(Fn fn) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

FARPROC WINAPI lookUp(HMODULE module, LPCSTR name) {
    const std::string n = name;
    if (fake.missing.count(n)) return nullptr;
    if (module == kPowrProfModule) {
        if (n == "PowerGetActiveScheme") return asProc(getActiveScheme);
        if (n == "PowerSetActiveScheme") return asProc(setActiveScheme);
        if (n == "PowerReadACValueIndex") return asProc(readValue);
        if (n == "PowerWriteACValueIndex") return asProc(writeValue);
        if (n == "SetSuspendState") return asProc(setSuspendState);
    }
    if (module == kUser32Module) {
        if (n == "RegisterPowerSettingNotification") return asProc(registerSetting);
        if (n == "CancelShutdown") return asProc(cancelShutdown);
    }
    return nullptr;
}

}  // namespace

void reset() {
    fake = {};
}

platform::win32::PowerCalls calls() {
    return {load, lookUp, freeLibrary, setExecutionState, initiateShutdown, exitWindows};
}

bool shutdownPrivilegeEnabled() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID luid{};
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<uint8_t> b(size);
    bool enabled = false;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid) &&
        GetTokenInformation(token, TokenPrivileges, b.data(), size, &size)) {
        const auto* p = reinterpret_cast<const TOKEN_PRIVILEGES*>(b.data());
        for (DWORD i = 0; i < p->PrivilegeCount; ++i) {
            const LUID& l = p->Privileges[i].Luid;
            if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart) {
                enabled = (p->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
            }
        }
    }
    CloseHandle(token);
    return enabled;
}

}  // namespace fake_power
