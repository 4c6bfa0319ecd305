// Power management through the login manager on the system bus: inhibitor locks for the
// execution state, held-back session ends and the power keys; Suspend, Hibernate and PowerOff;
// its PrepareForShutdown and property changes as notices. Button actions other than the login
// manager's own are kept in a small store and acted on here.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/logind/logind_inhibitor.h"
#include "platform/linux/logind/logind_scheme_store.h"
#include "platform/linux/logind/power_key.h"
#include "platform/linux/logind/stoppable_thread.h"
#include "platform/power.h"

namespace platform::linux_adapter {

// Where monitor power notices come from.
class MonitorPowerSource {
public:
    virtual ~MonitorPowerSource() = default;
    // Starts reporting (true on, false off), the present state first; false when it cannot.
    virtual bool start(std::function<void(bool on)> report) = 0;
};

struct LogindTimings {
    int callMs = 1500;        // any one exchange with the bus
    int sleepStartMs = 2000;  // for the sleep to begin once it was asked for
    int wakeMs = 120000;      // for the wake-up once the sleep began (suspended time not counted)
};

class LogindPower final : public Power {
public:
    // `dataDir` holds the store of written button actions.
    LogindPower(std::string dataDir, std::unique_ptr<MonitorPowerSource> monitor,
                LogindTimings timings = {}, std::string inputDir = "/dev/input");
    ~LogindPower() override;
    LogindPower(const LogindPower&) = delete;
    LogindPower& operator=(const LogindPower&) = delete;

    void start(std::function<void(PowerNotice)> deliver) override;
    uintptr_t registerPowerSetting(PowerSetting setting) override;
    std::optional<std::string> activeScheme() override;
    bool schemeFunctionsAvailable() override;
    std::optional<int32_t> readButtonAction(const std::string& scheme, PowerButton button) override;
    bool writeButtonAction(const std::string& scheme, PowerButton button, int32_t value) override;
    bool activateScheme(const std::string& scheme) override;
    void setExecutionState(uint32_t flags) override;
    bool suspend(bool hibernate) override;
    bool enableShutdownPrivilege() override;
    void disableShutdownPrivilege() override {}
    bool powerOff() override;
    bool shutdown() override;
    bool cancelShutdown() override;

    // Another place to hear the keys, beside the evdev devices; before start().
    void addKeySource(std::unique_ptr<PowerKeySource> source);

    // Whether the power and sleep keys are ours now (the login manager was told to leave them).
    bool ownsKeys() const { return keyLock_.held(); }

private:
    void busLoop(int wake);
    void onShutdownSignal(bool starting);
    void onPropertiesChanged(bool buttonsChanged);
    void onLogindStarted();
    void deliver(PowerNotice notice);
    std::optional<ButtonActions> logindActions();
    // Holds the key lock and reads the keys while the store differs from the login manager.
    bool applyStore();
    void onKey(PowerButton button);

    const LogindTimings timings_;
    SchemeStore store_;
    std::unique_ptr<MonitorPowerSource> monitor_;
    std::vector<std::unique_ptr<PowerKeySource>> keySources_;

    std::mutex deliverMutex_;
    std::function<void(PowerNotice)> deliver_;
    std::atomic<bool> personality_{false};
    std::mutex monitorMutex_;
    bool monitorStarted_ = false;

    std::mutex applyMutex_;
    Inhibitor keyLock_{"handle-power-key:handle-suspend-key",
                       "The power and sleep keys act as the display controller needs", "block"};
    Inhibitor idleLock_{"sleep:idle", "The display controller has the panel", "block"};
    Inhibitor shutdownBlock_{"shutdown", "The display controller has the panel", "block"};
    Inhibitor shutdownDelay_{"shutdown", "Saving state before the session ends", "delay"};

    StoppableThread bus_;
};

}  // namespace platform::linux_adapter
