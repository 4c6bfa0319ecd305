#include "buttons/configuration.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>

#include "app/globals.h"
#include "app/status.h"
#include "platform/files.h"
#include "platform/ports.h"

ButtonRecord VolumeMuteButton{{1, MuteVolume, {}, 0, 0}};
ButtonRecord VolumeUpButton{{1, IncreaseVolume, {}, 1, 30}};
ButtonRecord VolumeDownButton{{1, DecreaseVolume, {}, 1, 30}};
uint32_t dwElementCount = 0;

namespace {

constexpr const char* kButtonIds[3] = {"VolumeMuteButton", "VolumeUpButton", "VolumeDownButton"};

const ButtonConfiguration kDefaults[3] = {
    {1, MuteVolume, {}, 0, 0}, {1, IncreaseVolume, {}, 1, 30}, {1, DecreaseVolume, {}, 1, 30}};

constexpr std::array<const char*, 8> kActions = {"",
                                                 "LaunchExecutable",
                                                 "MuteVolume",
                                                 "IncreaseVolume",
                                                 "DecreaseVolume",
                                                 "IncreaseDisplayBrightness",
                                                 "DecreaseDisplayBrightness",
                                                 "ToggleDisplayOnOff"};

std::vector<LoggedEvent>& events() {
    static std::vector<LoggedEvent> list;
    return list;
}

int buttonIndex(const std::string& id) {
    for (int i = 0; i < 3; ++i) {
        if (id == kButtonIds[i]) return i;
    }
    return -1;
}

ButtonRecord& record(int index) {
    return index == 0 ? VolumeMuteButton : index == 1 ? VolumeUpButton : VolumeDownButton;
}

// The text travels as UTF-16 with its terminator, which sets the event's data size.
uint32_t utf16DataSize(const std::string& text) {
    uint32_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return (units + 1) * 2;
}

void report(uint32_t id) {
    const char* text = "";
    switch (id) {
        case EVENT_CONFIG_TOO_LARGE:
            text =
                "The system configuration file is invalid because it exceeds the allowed file "
                "size limit (1 MB).";
            break;
        case EVENT_CONFIG_TOO_DEEP:
            text =
                "The system configuration file is invalid because it exceeds the allowed node "
                "depth (256 nodes deep).";
            break;
        case EVENT_CONFIG_NOT_WELL_FORMED:
            text =
                "The system configuration file is invalid because its XML syntax is not "
                "well-formed.";
            break;
        default:
            text =
                "The system configuration file does not contain a valid configuration change "
                "for any of the Volume and Mute control buttons.";
            break;
    }
    const uint32_t size = utf16DataSize(text);
    events().push_back({id, text, size});
    platform::ports().eventLog->reportError(id, text, size);
}

// A leading decimal integer with an optional minus sign. Text that does not start with a digit
// or a minus sign is 0: no skipped blanks and no plus sign, which the C library would take.
long leadingInteger(const std::string& s) {
    if (s.empty() || (s[0] != '-' && (s[0] < '0' || s[0] > '9'))) return 0;
    errno = 0;
    const long v = std::strtol(s.c_str(), nullptr, 10);
    return errno == ERANGE ? (v < 0 ? LONG_MIN : LONG_MAX) : v;
}

std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

bool flag(const std::string& value, int32_t& out) {
    if (value == "true") {
        out = 1;
    } else if (value == "false") {
        out = 0;
    } else {
        return false;
    }
    return true;
}

}  // namespace

void SetDefaultButtonConfiguration(const std::string& szButtonId) {
    const int i = buttonIndex(szButtonId);
    if (i >= 0) record(i).set(kDefaults[i]);
}

int32_t ReadButtonAttributes(platform::XmlPullReader& reader, int32_t bApply,
                             std::string& szButtonId, ButtonConfiguration& configuration) {
    int32_t r = reader.moveToFirstAttribute();
    if (r == platform::XML_S_FALSE) return 1;
    if (r != platform::XML_S_OK) return -2;
    do {
        if (reader.isDefault()) continue;
        std::string prefix, name, value;
        if (!reader.prefix(prefix) || !reader.localName(name) || !reader.value(value)) return -2;
        if (!bApply) continue;
        if (name == "Id") {
            if (buttonIndex(value) < 0) return -2;
            szButtonId = value;
        } else if (name == "Enabled") {
            if (!flag(value, configuration.Enabled)) return -1;
        } else if (name == "Action") {
            for (std::size_t code = 1; code < kActions.size(); ++code) {
                if (value == kActions[code]) configuration.Action = static_cast<int32_t>(code);
            }
        } else if (name == "ActionValue") {
            if (configuration.Action == LaunchExecutable) {
                // A command line cut to fit could start something else: refuse it whole.
                if (characters(value) > kMaxActionValue) return -1;
                configuration.ActionValue = value;
            }
        } else if (name == "AutoRepeatEnabled") {
            if (!flag(value, configuration.AutoRepeatEnabled)) return -1;
        } else if (name == "AutoRepeatInterval") {
            const long v = leadingInteger(value);
            if (v != 0 && (v < 200 || v > 4000)) return -1;
            configuration.AutoRepeatInterval = static_cast<int32_t>(v);
        }
    } while ((r = reader.moveToNextAttribute()) == platform::XML_S_OK);
    return r == platform::XML_S_FALSE ? 0 : -2;
}

int32_t XmlLiteReader(std::span<const uint8_t> document) {
    auto reader = platform::ports().xmlReaders->open(document);
    if (!reader) return -1;
    bool declaration = false, root = false, buttons = false, button = false;
    bool applied[3] = {false, false, false};
    int32_t result;
    platform::XmlNodeType type;
    while ((result = reader->read(type)) == platform::XML_S_OK) {
        std::string prefix, name, value;
        switch (type) {
            case platform::XmlNodeType::Element: {
                ++dwElementCount;
                if (!reader->prefix(prefix) || !reader->localName(name)) return -1;
                if (name == "QZSystemConfiguration") root = true;
                if (name == "Buttons") buttons = true;
                if (name != "Button" || !declaration || !root || !buttons) break;
                button = true;
                ButtonConfiguration work;
                std::string id;
                const int32_t r = ReadButtonAttributes(*reader, 1, id, work);
                if (r == -1) {
                    report(EVENT_CONFIG_NO_VALID_CHANGE);
                    SetDefaultButtonConfiguration(id);
                } else if (r == -2) {
                    SetDefaultButtonConfiguration(id);
                } else {
                    if (work.AutoRepeatInterval == 0) work.AutoRepeatEnabled = 0;
                    const int i = buttonIndex(id);
                    if (i >= 0 && !applied[i]) {
                        record(i).set(std::move(work));
                        applied[i] = true;
                    }
                }
                break;
            }
            case platform::XmlNodeType::XmlDeclaration: {
                std::string unused;
                ButtonConfiguration ignored;
                if (ReadButtonAttributes(*reader, 0, unused, ignored) < 0) return -1;
                declaration = true;
                break;
            }
            case platform::XmlNodeType::Text:
            case platform::XmlNodeType::Whitespace:
            case platform::XmlNodeType::CData:
            case platform::XmlNodeType::Comment:
                if (!reader->value(value)) return -1;
                break;
            case platform::XmlNodeType::ProcessingInstruction:
                if (!reader->localName(name) || !reader->value(value)) return -1;
                break;
            case platform::XmlNodeType::EndElement:
                if (!reader->prefix(prefix) || !reader->localName(name)) return -1;
                break;
            default:
                break;
        }
    }
    if (!reader->isEndOfFile()) {
        report(dwElementCount == 256 ? EVENT_CONFIG_TOO_DEEP : EVENT_CONFIG_NOT_WELL_FORMED);
        SetDefaultButtonConfiguration("VolumeMuteButton");
        SetDefaultButtonConfiguration("VolumeUpButton");
        SetDefaultButtonConfiguration("VolumeDownButton");
    } else if (!declaration || !root || !buttons || !button) {
        report(EVENT_CONFIG_NO_VALID_CHANGE);
    }
    return result;
}

void CheckButtonConfiguration() {
    std::vector<uint8_t> bytes;
    const platform::FileRead read =
        platform::readRegularFile(szConfigurationFile, kMaxConfigurationSize - 1, bytes);
    // A FIFO or a directory in the file's place cannot be read as a file, as one not there or
    // not ours cannot: nothing is reported and the defaults stay.
    if (read != platform::FileRead::Read && read != platform::FileRead::TooLarge) return;
    platform::EventLog& log = *platform::ports().eventLog;
    log.registerSource("VESKOSD");
    if (read == platform::FileRead::TooLarge) {
        report(EVENT_CONFIG_TOO_LARGE);
    } else {
        XmlLiteReader(bytes);
    }
    log.deregisterSource();
}

const std::vector<LoggedEvent>& loggedEvents() {
    return events();
}

void resetButtonConfiguration() {
    for (int i = 0; i < 3; ++i) record(i).set(kDefaults[i]);
    dwElementCount = 0;
    events().clear();
}

void registerButtonStatus() {
    auto recordJson = [](const ButtonConfiguration& c) {
        return nlohmann::json{{"Enabled", c.Enabled},
                              {"Action", c.Action},
                              {"ActionValue", c.ActionValue},
                              {"AutoRepeatEnabled", c.AutoRepeatEnabled},
                              {"AutoRepeatInterval", c.AutoRepeatInterval}};
    };
    registerStatusSection("VolumeMuteButton", [=] { return recordJson(VolumeMuteButton.get()); });
    registerStatusSection("VolumeUpButton", [=] { return recordJson(VolumeUpButton.get()); });
    registerStatusSection("VolumeDownButton", [=] { return recordJson(VolumeDownButton.get()); });
    registerStatusSection("dwElementCount", [] { return nlohmann::json(dwElementCount); });
    registerStatusSection("eventLog", [] {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& e : events()) {
            char id[16];
            std::snprintf(id, sizeof(id), "0x%08X", e.id);
            list.push_back({{"id", id}, {"text", e.text}, {"dataSize", e.dataSize}});
        }
        return list;
    });
}
