// The simulated HID buttons: `sim hid 08 03` sends one report, its id first, to the window that
// registered for raw input.
#pragma once

#include <mutex>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/raw_input.h"

namespace platform::sim {

class SimHid final : public RawInput {
public:
    bool registerDevice(uint16_t usagePage, uint16_t usage, uint32_t flags,
                        base::Window* target) override;
    std::optional<RawInputRecord> getRawInputData(base::LPARAM handle) override;

    nlohmann::json command(const nlohmann::json& args);
    nlohmann::json status() const;

private:
    mutable std::mutex m_;
    std::set<std::pair<uint16_t, uint16_t>> collections_;
    base::Window* target_ = nullptr;
    uint64_t sent_ = 0;
    RawInputRecords records_;
};

}  // namespace platform::sim
