// Simulated power management: one scheme with its two AC button actions, the execution state,
// a monitor that is on at start, and a record of the power calls the program made.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/power.h"

namespace platform::sim {

class SimPower final : public Power {
public:
    static constexpr const char* kScheme = "balanced";

    void start(std::function<void(PowerNotice)> deliver) override;
    uintptr_t registerPowerSetting(PowerSetting setting) override;
    std::optional<std::string> activeScheme() override;
    bool schemeFunctionsAvailable() override { return true; }
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

    // `sim power end-session|monitor on|off|personality|actions POWER SLEEP|privilege ...`.
    nlohmann::json command(const nlohmann::json& args);
    nlohmann::json status() const;

private:
    void record(const char* call);
    // Delivers outside the lock: the receiver may call back in.
    void notify(PowerNotice notice);
    bool registered(PowerSetting setting) const;

    mutable std::mutex m_;
    std::function<void(PowerNotice)> deliver_;
    bool monitorRegistered_ = false;
    bool schemeRegistered_ = false;
    bool monitorOn_ = true;
    bool privilegeGranted_ = true;
    int32_t powerButtonAction_ = 3;
    int32_t sleepButtonAction_ = 1;
    uint32_t executionState_ = ES_CONTINUOUS;
    uint64_t sessionEndsRaised_ = 0;
    uint64_t sessionEndsHandled_ = 0;
    base::RecentEntries<std::string> calls_;
};

}  // namespace platform::sim
