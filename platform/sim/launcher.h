// Launches recorded instead of run, with the argument list the Linux launcher would give.
#pragma once

#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/launcher.h"

namespace platform::sim {

class SimLauncher final : public Launcher {
public:
    bool launch(const std::string& file, const std::string& parameters) override;
    nlohmann::json status() const;

private:
    mutable std::mutex m_;
    base::RecentEntries<nlohmann::json> launched_;
};

}  // namespace platform::sim
