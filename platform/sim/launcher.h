// Launches recorded instead of run, with the argument list the Linux launcher would give.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/launcher.h"

namespace platform::sim {

// The argument list a launch would run; empty, with the reason, when it cannot be made.
using LaunchArguments = std::optional<std::vector<std::string>> (*)(const std::string& file,
                                                                    const std::string& parameters,
                                                                    std::string& why);

class SimLauncher final : public Launcher {
public:
    // Without `arguments` (the real launcher's module is missing) every launch fails.
    explicit SimLauncher(LaunchArguments arguments) : arguments_(arguments) {}
    bool launch(const std::string& file, const std::string& parameters) override;
    bool splitsParameters(const std::string& parameters, std::string& why) override;
    nlohmann::json status() const;

private:
    LaunchArguments arguments_;
    mutable std::mutex m_;
    base::RecentEntries<nlohmann::json> launched_;
};

}  // namespace platform::sim
