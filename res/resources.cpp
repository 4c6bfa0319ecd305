#include "res/resources.h"

#include <deque>
#include <mutex>
#include <string>

namespace {

struct Added {
    std::string name, type;
    std::vector<uint8_t> bytes;
};

std::mutex addedMutex;
std::deque<Added>& added() {
    static std::deque<Added> list;
    return list;
}

}  // namespace

std::optional<std::span<const uint8_t>> FindResource(std::string_view name, std::string_view type) {
    {
        std::lock_guard lock(addedMutex);
        for (auto it = added().rbegin(); it != added().rend(); ++it) {
            if (it->name == name && it->type == type) return std::span<const uint8_t>(it->bytes);
        }
    }
    for (const auto& r : embeddedResources()) {
        if (r.name == name && r.type == type) return r.bytes;
    }
    return std::nullopt;
}

void addResource(std::string_view name, std::string_view type, std::vector<uint8_t> bytes) {
    std::lock_guard lock(addedMutex);
    added().push_back({std::string(name), std::string(type), std::move(bytes)});
}
