// The button configuration: three records, their built-in defaults, and the reading of
// "QZConfiguration.xml" with its event-log reports.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/xml_reader.h"

enum ButtonAction : int32_t {
    LaunchExecutable = 1,
    MuteVolume = 2,
    IncreaseVolume = 3,
    DecreaseVolume = 4,
    IncreaseDisplayBrightness = 5,
    DecreaseDisplayBrightness = 6,
    ToggleDisplayOnOff = 7,
};

struct ButtonConfiguration {
    int32_t Enabled = 0;
    int32_t Action = 0;
    std::string ActionValue;  // at most kMaxActionValue characters
    int32_t AutoRepeatEnabled = 0;
    int32_t AutoRepeatInterval = 0;
    bool operator==(const ButtonConfiguration&) const = default;
};

inline constexpr std::size_t kMaxActionValue = 1023;
inline constexpr uint64_t kMaxConfigurationSize = 0x100000;

// One button's record. The notification and action threads read it while start-up may still be
// writing it: each read is a copy taken under the record's lock, so it is one whole record, the
// one before or the one after a write.
class ButtonRecord {
public:
    explicit ButtonRecord(ButtonConfiguration initial) : value_(std::move(initial)) {}
    ButtonConfiguration get() const {
        std::lock_guard lock(m_);
        return value_;
    }
    void set(ButtonConfiguration c) {
        std::lock_guard lock(m_);
        value_ = std::move(c);
    }

private:
    mutable std::mutex m_;
    ButtonConfiguration value_;
};

extern ButtonRecord VolumeMuteButton;
extern ButtonRecord VolumeUpButton;
extern ButtonRecord VolumeDownButton;
extern uint32_t dwElementCount;

inline constexpr uint32_t EVENT_CONFIG_TOO_LARGE = 0xC0020100;
inline constexpr uint32_t EVENT_CONFIG_TOO_DEEP = 0xC0020101;
inline constexpr uint32_t EVENT_CONFIG_NOT_WELL_FORMED = 0xC0020102;
inline constexpr uint32_t EVENT_CONFIG_NO_VALID_CHANGE = 0xC0020103;

// Resets the record named by `szButtonId`; any other text does nothing.
void SetDefaultButtonConfiguration(const std::string& szButtonId);
// Start-up: the file at szConfigurationFile, its size limit, and the reading.
void CheckButtonConfiguration();
// Reads one document. The last result of the reader's read (1 at a normal end), or -1 when the
// reader cannot be set up or a node cannot be read.
int32_t XmlLiteReader(std::span<const uint8_t> document);
// 1: no attributes; 0: all taken; -1: an invalid value; -2: a reader failure or unknown Id.
int32_t ReadButtonAttributes(platform::XmlPullReader& reader, int32_t bApply,
                             std::string& szButtonId, ButtonConfiguration& configuration);

struct LoggedEvent {
    uint32_t id;
    std::string text;
    uint32_t dataSize;
};
const std::vector<LoggedEvent>& loggedEvents();
void resetButtonConfiguration();
void registerButtonStatus();
