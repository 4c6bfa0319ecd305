#include "platform/sim/backlight.h"

#include <stdexcept>

#include "platform/sim/verb_args.h"

namespace platform::sim {

namespace {

constexpr std::size_t kKept = 256;

class SimNotices final : public BrightnessNotices {
public:
    explicit SimNotices(SimBacklight* panel) : panel_(panel) {}
    std::optional<uint8_t> next() override { return panel_->nextNotice(); }

private:
    SimBacklight* panel_;
};

}  // namespace

void SimBacklight::change(uint8_t level) {
    level_ = level;
    notices_.push_back(level);
    // Nobody may be reading: keep only what a reader could still use.
    if (notices_.size() > kKept) notices_.pop_front();
    cv_.notify_all();
}

bool SimBacklight::setLevel(uint8_t level) {
    if (level > 100) return false;
    std::lock_guard lock(m_);
    sets_.push(level);
    change(level);
    return true;
}

std::unique_ptr<BrightnessNotices> SimBacklight::watch() {
    return std::make_unique<SimNotices>(this);
}

uint8_t SimBacklight::nextNotice() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return !notices_.empty(); });
    const uint8_t level = notices_.front();
    notices_.pop_front();
    return level;
}

nlohmann::json SimBacklight::command(const nlohmann::json& args) {
    static constexpr const char* kUsage = "backlight verbs: set LEVEL (0 to 100)";
    if (args.size() != 2 || args[0] != "set" || !args[1].is_string()) {
        throw std::invalid_argument(kUsage);
    }
    const auto level =
        static_cast<uint8_t>(parseWhole(args[1].get<std::string>(), 10, 100, kUsage));
    std::lock_guard lock(m_);
    change(level);
    return {{"level", level}};
}

nlohmann::json SimBacklight::status() const {
    std::lock_guard lock(m_);
    return {{"level", level_}, {"sets", sets_.entries()}, {"setsDropped", sets_.dropped()}};
}

}  // namespace platform::sim
