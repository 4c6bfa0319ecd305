#include "platform/sim/launcher.h"

#include "platform/linux/glib_launcher.h"

namespace platform::sim {

bool SimLauncher::launch(const std::string& file, const std::string& parameters) {
    std::string why;
    const auto words = linux_adapter::splitParameters(parameters, why);
    if (!words) return false;
    nlohmann::json argv = nlohmann::json::array({linux_adapter::unquotedProgramFile(file)});
    for (const std::string& w : *words) argv.push_back(w);
    std::lock_guard lock(m_);
    launched_.push({{"file", file}, {"parameters", parameters}, {"argv", argv}});
    return true;
}

nlohmann::json SimLauncher::status() const {
    std::lock_guard lock(m_);
    return {{"entries", launched_.entries()}, {"dropped", launched_.dropped()}};
}

}  // namespace platform::sim
