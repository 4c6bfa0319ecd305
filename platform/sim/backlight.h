// The simulated panel: a level in percent that the program sets and that outside changes move,
// each change, the program's own included, giving a notice as a real panel does.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/monitor_brightness.h"

namespace platform::sim {

class SimBacklight final : public MonitorBrightness {
public:
    bool setLevel(uint8_t level) override;
    std::unique_ptr<BrightnessNotices> watch() override;

    // `sim backlight set N`: a change made elsewhere.
    nlohmann::json command(const nlohmann::json& args);
    nlohmann::json status() const;

    // The next notice, waiting for one; used by the notices stream.
    uint8_t nextNotice();

private:
    void change(uint8_t level);

    mutable std::mutex m_;
    std::condition_variable cv_;
    int level_ = 100;
    base::RecentEntries<int> sets_;  // the program's own
    std::deque<uint8_t> notices_;
};

}  // namespace platform::sim
