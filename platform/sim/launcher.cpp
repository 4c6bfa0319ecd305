#include "platform/sim/launcher.h"

namespace platform::sim {

bool SimLauncher::launch(const std::string& file, const std::string& parameters) {
    std::string why;
    const auto words = arguments_ ? arguments_(file, parameters, why) : std::nullopt;
    if (!words) return false;
    nlohmann::json argv = *words;
    std::lock_guard lock(m_);
    launched_.push({{"file", file}, {"parameters", parameters}, {"argv", argv}});
    return true;
}

bool SimLauncher::splitsParameters(const std::string& parameters, std::string& why) {
    return !arguments_ || arguments_({}, parameters, why).has_value();
}

nlohmann::json SimLauncher::status() const {
    std::lock_guard lock(m_);
    return {{"entries", launched_.entries()}, {"dropped", launched_.dropped()}};
}

}  // namespace platform::sim
