// Launches recorded instead of run, with the argument list the Linux launcher would give.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/launcher.h"

namespace platform::sim {

class SimLauncher final : public Launcher {
public:
    bool launch(const std::string& file, const std::string& parameters) override;
    nlohmann::json status() const;

private:
    mutable std::mutex m_;
    std::deque<nlohmann::json> launched_;  // the last 256
    uint64_t dropped_ = 0;
};

}  // namespace platform::sim
