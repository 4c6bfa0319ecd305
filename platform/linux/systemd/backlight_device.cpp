#include "platform/linux/systemd/backlight_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

namespace platform::linux_adapter {

namespace {

std::string readWord(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

int typeRank(const std::string& type) {
    if (type == "firmware") return 0;
    if (type == "platform") return 1;
    if (type == "raw") return 2;
    return 3;
}

}  // namespace

std::optional<long> readAttribute(const std::string& path) {
    const std::string word = readWord(path);
    if (word.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || end == word.c_str() || *end != '\0') return std::nullopt;
    return value;
}

std::optional<BacklightDevice> chooseBacklight(const std::string& sysfsRoot) {
    std::error_code ec;
    std::filesystem::directory_iterator it(sysfsRoot + "/class/backlight", ec);
    std::optional<BacklightDevice> best;
    int bestRank = 0;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        BacklightDevice candidate;
        candidate.name = it->path().filename().string();
        candidate.dir = it->path().string();
        const auto max = readAttribute(candidate.dir + "/max_brightness");
        if (!max || *max <= 0) continue;
        candidate.maxBrightness = *max;
        const int rank = typeRank(readWord(candidate.dir + "/type"));
        if (!best || std::tie(rank, candidate.name) < std::tie(bestRank, best->name)) {
            best = std::move(candidate);
            bestRank = rank;
        }
    }
    return best;
}

uint32_t percentToRaw(uint8_t percent, long maxBrightness) {
    const long p = std::min<long>(percent, 100);
    return static_cast<uint32_t>((p * maxBrightness + 50) / 100);
}

uint8_t rawToPercent(long raw, long maxBrightness) {
    if (maxBrightness <= 0) return 0;
    const long r = std::clamp(raw, 0L, maxBrightness);
    return static_cast<uint8_t>((r * 100 + maxBrightness / 2) / maxBrightness);
}

}  // namespace platform::linux_adapter
