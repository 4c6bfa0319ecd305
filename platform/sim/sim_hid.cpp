#include "platform/sim/sim_hid.h"

#include <stdexcept>

#include "base/window.h"
#include "platform/sim/verb_args.h"

namespace platform::sim {

bool SimHid::registerDevice(uint16_t usagePage, uint16_t usage, uint32_t, base::Window* target) {
    if (!target) return false;
    std::lock_guard lock(m_);
    collections_.emplace(usagePage, usage);
    target_ = target;
    return true;
}

std::optional<RawInputRecord> SimHid::getRawInputData(base::LPARAM handle) {
    return records_.take(handle);
}

nlohmann::json SimHid::command(const nlohmann::json& args) {
    static constexpr const char* kUsage = "hid takes the report's bytes in hex, its id first";
    std::vector<uint8_t> report;
    for (const auto& a : args) {
        const std::string text = a.is_string() ? a.get<std::string>() : std::string();
        report.push_back(static_cast<uint8_t>(parseWhole(text, 16, 0xFF, kUsage)));
    }
    if (report.empty()) throw std::invalid_argument("hid takes the report's bytes in hex");
    base::Window* target = nullptr;
    {
        std::lock_guard lock(m_);
        // The simulated device carries all three collections: any registration hears it.
        if (!collections_.empty()) target = target_;
        if (target) ++sent_;
    }
    if (!target) return {{"delivered", false}};
    const base::LPARAM handle = records_.put({RIM_TYPEHID, std::move(report)});
    return {{"delivered", base::postMessage(target, WM_INPUT, 0, handle)}};
}

nlohmann::json SimHid::status() const {
    std::lock_guard lock(m_);
    nlohmann::json registered = nlohmann::json::array();
    for (const auto& [page, usage] : collections_) registered.push_back({page, usage});
    return {{"registered", registered}, {"reportsSent", sent_}};
}

}  // namespace platform::sim
