// The power settings the program follows, and the record a setting-change notice carries: the
// setting's GUID (16 bytes, in memory order), a 32-bit data length, then the data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/power.h"

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    std::array<uint8_t, 8> Data4{};
    bool operator==(const GUID&) const = default;
};

inline constexpr GUID GUID_MONITOR_POWER_ON{
    0x02731015, 0x4510, 0x4526, {0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA}};
inline constexpr GUID GUID_POWERSCHEME_PERSONALITY{
    0x245D8541, 0x3943, 0x4422, {0xB0, 0x25, 0x13, 0xA7, 0x84, 0xF6, 0x79, 0xB7}};
inline constexpr GUID GUID_SYSTEM_BUTTON_SUBGROUP{
    0x4F971E89, 0xEEBD, 0x4455, {0xA8, 0xDE, 0x9E, 0x59, 0x04, 0x0E, 0x73, 0x47}};
inline constexpr GUID GUID_POWERBUTTON_ACTION{
    0x7648EFA3, 0xDD9C, 0x4E3E, {0xB5, 0x66, 0x50, 0xF9, 0x29, 0x38, 0x62, 0x80}};
inline constexpr GUID GUID_SLEEPBUTTON_ACTION{
    0x96996BC0, 0xAD50, 0x47EC, {0x92, 0x3B, 0x6F, 0x41, 0x87, 0x4D, 0xD9, 0xEB}};

inline constexpr uint64_t PBT_POWERSETTINGCHANGE = 0x8013;

inline constexpr std::size_t kPowerSettingDataOffset = 20;

const GUID& settingGuid(platform::PowerSetting setting);

// The record of `setting` with one 32-bit value as its data.
std::vector<uint8_t> makePowerSettingRecord(const GUID& setting, uint32_t data);

struct PowerSettingChange {
    GUID PowerSetting;
    uint32_t Data = 0;
};
// Empty for a record too short for its header or a 32-bit value.
std::optional<PowerSettingChange> readPowerSettingRecord(std::span<const uint8_t> record);

// Keeps a record until its message is handled; returns the lParam that names it. Any thread.
int64_t storePowerSettingRecord(std::vector<uint8_t> record);
// The record `id` names, taken out; empty for a number this process did not hand out.
std::optional<std::vector<uint8_t>> takePowerSettingRecord(int64_t id);
