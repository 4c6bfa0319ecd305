#include "platform/sim/power.h"

#include <memory>
#include <stdexcept>

#include "platform/sim/verb_args.h"

namespace platform::sim {

namespace {

constexpr uintptr_t kMonitorHandle = 1;
constexpr uintptr_t kSchemeHandle = 2;

constexpr const char* kUsage =
    "sim power: end-session | monitor on|off | personality | actions POWER SLEEP (0 to 3) | "
    "privilege granted|refused";

std::string word(const nlohmann::json& args, std::size_t i) {
    if (i >= args.size() || !args[i].is_string()) throw std::invalid_argument(kUsage);
    return args[i].get<std::string>();
}

}  // namespace

void SimPower::start(std::function<void(PowerNotice)> deliver) {
    std::lock_guard lock(m_);
    deliver_ = std::move(deliver);
}

uintptr_t SimPower::registerPowerSetting(PowerSetting setting) {
    PowerNotice present;
    {
        std::lock_guard lock(m_);
        if (setting == PowerSetting::SchemePersonality) {
            schemeRegistered_ = true;
            return kSchemeHandle;
        }
        monitorRegistered_ = true;
        present.setting = PowerSetting::MonitorPowerOn;
        present.data = monitorOn_ ? 1 : 0;
    }
    // A monitor registration is answered with the monitor's present state.
    notify(std::move(present));
    return kMonitorHandle;
}

std::optional<std::string> SimPower::activeScheme() {
    return std::string(kScheme);
}

std::optional<int32_t> SimPower::readButtonAction(const std::string& scheme, PowerButton button) {
    if (scheme != kScheme) return std::nullopt;
    std::lock_guard lock(m_);
    return button == PowerButton::Power ? powerButtonAction_ : sleepButtonAction_;
}

bool SimPower::writeButtonAction(const std::string& scheme, PowerButton button, int32_t value) {
    if (scheme != kScheme) return false;
    std::lock_guard lock(m_);
    (button == PowerButton::Power ? powerButtonAction_ : sleepButtonAction_) = value;
    return true;
}

bool SimPower::activateScheme(const std::string& scheme) {
    return scheme == kScheme;
}

void SimPower::setExecutionState(uint32_t flags) {
    std::lock_guard lock(m_);
    executionState_ = flags;
}

bool SimPower::suspend(bool hibernate) {
    record(hibernate ? "hibernate" : "suspend");
    return true;
}

bool SimPower::enableShutdownPrivilege() {
    std::lock_guard lock(m_);
    return privilegeGranted_;
}

bool SimPower::powerOff() {
    record("poweroff");
    return true;
}

bool SimPower::shutdown() {
    record("shutdown");
    return true;
}

bool SimPower::cancelShutdown() {
    record("cancel-shutdown");
    return true;
}

void SimPower::record(const char* call) {
    std::lock_guard lock(m_);
    calls_.push(call);
}

void SimPower::notify(PowerNotice notice) {
    std::function<void(PowerNotice)> deliver;
    {
        std::lock_guard lock(m_);
        deliver = deliver_;
    }
    if (deliver) deliver(std::move(notice));
}

bool SimPower::registered(PowerSetting setting) const {
    std::lock_guard lock(m_);
    return setting == PowerSetting::MonitorPowerOn ? monitorRegistered_ : schemeRegistered_;
}

// Verbs run on the GUI thread, which handles the session end only after the verb returned: a
// verb cannot wait for it. `status` counts the session ends the program has let go on.
nlohmann::json SimPower::command(const nlohmann::json& args) {
    const std::string verb = word(args, 0);
    if (verb == "end-session" && args.size() == 1) {
        PowerNotice n;
        n.kind = PowerNotice::Kind::SessionEnd;
        {
            std::lock_guard lock(m_);
            ++sessionEndsRaised_;
        }
        // The program may call it at most once; a copy of the notice's function is all it holds.
        n.handled = [this] {
            std::lock_guard lock(m_);
            ++sessionEndsHandled_;
        };
        notify(std::move(n));
    } else if (verb == "monitor" && args.size() == 2) {
        const std::string state = word(args, 1);
        if (state != "on" && state != "off") throw std::invalid_argument(kUsage);
        {
            std::lock_guard lock(m_);
            monitorOn_ = state == "on";
        }
        if (registered(PowerSetting::MonitorPowerOn)) {
            PowerNotice n;
            n.setting = PowerSetting::MonitorPowerOn;
            n.data = state == "on" ? 1 : 0;
            notify(std::move(n));
        }
    } else if (verb == "personality" && args.size() == 1) {
        if (registered(PowerSetting::SchemePersonality)) {
            PowerNotice n;
            n.setting = PowerSetting::SchemePersonality;
            notify(std::move(n));
        }
    } else if (verb == "actions" && args.size() == 3) {
        const auto p = static_cast<int32_t>(parseWhole(word(args, 1), 10, 3, kUsage));
        const auto s = static_cast<int32_t>(parseWhole(word(args, 2), 10, 3, kUsage));
        std::lock_guard lock(m_);
        powerButtonAction_ = p;
        sleepButtonAction_ = s;
    } else if (verb == "privilege" && args.size() == 2) {
        const std::string state = word(args, 1);
        if (state != "granted" && state != "refused") throw std::invalid_argument(kUsage);
        std::lock_guard lock(m_);
        privilegeGranted_ = state == "granted";
    } else {
        throw std::invalid_argument(kUsage);
    }
    return nlohmann::json::object();
}

nlohmann::json SimPower::status() const {
    std::lock_guard lock(m_);
    return {{"executionState", executionState_},         {"powerButtonAction", powerButtonAction_},
            {"sleepButtonAction", sleepButtonAction_},   {"monitorOn", monitorOn_},
            {"privilegeGranted", privilegeGranted_},     {"sessionEndsRaised", sessionEndsRaised_},
            {"sessionEndsHandled", sessionEndsHandled_}, {"calls", calls_.entries()},
            {"callsDropped", calls_.dropped()}};
}

}  // namespace platform::sim
