// The machine's power management as the session sees it: the active scheme's button actions,
// the execution state, suspend and shutdown, and the notices about session end, monitor power
// and scheme changes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The button actions of a scheme: 0 do nothing, 1 sleep, 2 hibernate, 3 shut down.
enum class PowerButton { Power, Sleep };

// Execution-state flags, with their platform values.
inline constexpr uint32_t ES_SYSTEM_REQUIRED = 0x00000001;
inline constexpr uint32_t ES_DISPLAY_REQUIRED = 0x00000002;
inline constexpr uint32_t ES_CONTINUOUS = 0x80000000;

// The settings whose changes can be asked for.
enum class PowerSetting { MonitorPowerOn, SchemePersonality };

struct PowerNotice {
    enum class Kind {
        SessionEnd,    // the session is about to end; `handled` must be called once it was heard
        SettingChange  // `setting` changed to `data` (monitor power: 0 off, 1 on)
    };
    Kind kind = Kind::SettingChange;
    PowerSetting setting = PowerSetting::MonitorPowerOn;
    uint32_t data = 0;
    // Session end only: lets the session go on; safe to call from any thread, at most once.
    std::function<void()> handled;
};

class Power {
public:
    virtual ~Power() = default;

    // Starts delivering notices, from any thread. Session-end notices come whether or not any
    // setting was registered.
    virtual void start(std::function<void(PowerNotice)> deliver) = 0;
    // Asks for the setting's change notices; a handle, or 0 where the platform cannot notify.
    // A monitor registration is answered by a notice of the monitor's present state.
    virtual uintptr_t registerPowerSetting(PowerSetting setting) = 0;

    // The active scheme's identity; empty where the platform has no way to tell.
    virtual std::optional<std::string> activeScheme() = 0;
    // Whether all of: reading, writing and activating a scheme's values, and suspending, are
    // there. Without them the blocked-input state is never entered.
    virtual bool schemeFunctionsAvailable() = 0;
    // The AC value of a button action; empty when it could not be read.
    virtual std::optional<int32_t> readButtonAction(const std::string& scheme,
                                                    PowerButton button) = 0;
    virtual bool writeButtonAction(const std::string& scheme, PowerButton button,
                                   int32_t value) = 0;
    virtual bool activateScheme(const std::string& scheme) = 0;

    // ES_ flags: ES_CONTINUOUS alone gives the system and the display back to their timers.
    virtual void setExecutionState(uint32_t flags) = 0;
    // Sleep, or hibernate; returns once the machine has woken again (false when refused).
    virtual bool suspend(bool hibernate) = 0;

    // The right to shut the machine down; false when it is not granted.
    virtual bool enableShutdownPrivilege() = 0;
    virtual void disableShutdownPrivilege() = 0;
    // Ends the session and powers off at once, whatever the applications say.
    virtual bool powerOff() = 0;
    // Shuts down with no delay and no message; applications are asked, not forced.
    virtual bool shutdown() = 0;
    // Refuses a session end that is in progress; false where the platform cannot.
    virtual bool cancelShutdown() = 0;
};

}  // namespace platform
