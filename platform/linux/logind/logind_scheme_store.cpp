#include "platform/linux/logind/logind_scheme_store.h"

#include <array>
#include <string_view>
#include <vector>

#include "base/little_endian.h"
#include "platform/state_files.h"

namespace platform::linux_adapter {

namespace {

constexpr std::size_t kSize = 8;
constexpr std::string_view kFileName = "PowerScheme.INI";

bool valid(int32_t action) {
    return action >= 0 && action <= 3;
}

}  // namespace

SchemeStore::SchemeStore(std::string directory) : path_(std::move(directory)) {
    // What a save cut short by a kill or a power loss left behind.
    removeStaleTemporaries(path_, [](std::string_view name) { return name == kFileName; });
    path_ += "/";
    path_ += kFileName;
}

std::optional<ButtonActions> SchemeStore::load() const {
    std::vector<uint8_t> bytes;
    if (readStateFile(path_, kSize, bytes) != StateRead::Read) return std::nullopt;
    const ButtonActions a{static_cast<int32_t>(base::readLe32(bytes, 0)),
                          static_cast<int32_t>(base::readLe32(bytes, 4))};
    if (!valid(a.power) || !valid(a.sleep)) return std::nullopt;
    return a;
}

bool SchemeStore::save(const ButtonActions& actions) const {
    std::array<uint8_t, kSize> bytes{};
    base::writeLe32(bytes, 0, static_cast<uint32_t>(actions.power));
    base::writeLe32(bytes, 4, static_cast<uint32_t>(actions.sleep));
    return writeStateFile(path_, bytes, 0600);
}

void SchemeStore::clear() const {
    removeStateFile(path_);
}

int32_t actionForHandle(const std::string& handle) {
    if (handle == "poweroff") return 3;
    if (handle == "suspend") return 1;
    if (handle == "hibernate") return 2;
    return 0;
}

}  // namespace platform::linux_adapter
