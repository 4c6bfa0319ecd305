#include "power/power_setting.h"

#include <map>
#include <mutex>

#include "base/little_endian.h"

namespace {

constexpr std::size_t kGuidSize = 16;

void writeGuid(std::span<uint8_t> b, const GUID& g) {
    base::writeLe32(b, 0, g.Data1);
    base::writeLe16(b, 4, g.Data2);
    base::writeLe16(b, 6, g.Data3);
    for (std::size_t i = 0; i < g.Data4.size(); ++i) b[8 + i] = g.Data4[i];
}

GUID readGuid(std::span<const uint8_t> b) {
    GUID g;
    g.Data1 = base::readLe32(b, 0);
    g.Data2 = base::readLe16(b, 4);
    g.Data3 = base::readLe16(b, 6);
    for (std::size_t i = 0; i < g.Data4.size(); ++i) g.Data4[i] = b[8 + i];
    return g;
}

// Never destroyed: a notice may still be stored by another thread while the process ends.
struct Records {
    std::mutex m;
    std::map<int64_t, std::vector<uint8_t>> byId;
    int64_t next = 1;
};

Records& records() {
    static auto* r = new Records;
    return *r;
}

}  // namespace

const GUID& settingGuid(platform::PowerSetting setting) {
    return setting == platform::PowerSetting::MonitorPowerOn ? GUID_MONITOR_POWER_ON
                                                             : GUID_POWERSCHEME_PERSONALITY;
}

std::vector<uint8_t> makePowerSettingRecord(const GUID& setting, uint32_t data) {
    std::vector<uint8_t> b(kPowerSettingDataOffset + 4);
    writeGuid(b, setting);
    base::writeLe32(b, kGuidSize, 4);
    base::writeLe32(b, kPowerSettingDataOffset, data);
    return b;
}

std::optional<PowerSettingChange> readPowerSettingRecord(std::span<const uint8_t> record) {
    if (record.size() < kPowerSettingDataOffset + 4) return std::nullopt;
    if (base::readLe32(record, kGuidSize) < 4) return std::nullopt;
    return PowerSettingChange{readGuid(record), base::readLe32(record, kPowerSettingDataOffset)};
}

int64_t storePowerSettingRecord(std::vector<uint8_t> record) {
    Records& r = records();
    std::lock_guard lock(r.m);
    const int64_t id = r.next++;
    r.byId[id] = std::move(record);
    return id;
}

std::optional<std::vector<uint8_t>> takePowerSettingRecord(int64_t id) {
    Records& r = records();
    std::lock_guard lock(r.m);
    auto it = r.byId.find(id);
    if (it == r.byId.end()) return std::nullopt;
    auto record = std::move(it->second);
    r.byId.erase(it);
    return record;
}
