#include "platform/sim/firmware.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "base/event.h"
#include "base/little_endian.h"
#include "platform/sim/verb_args.h"

namespace platform::sim {

namespace {

constexpr uint32_t kInit = 0x22240C;
constexpr uint32_t kRegisterEvent = 0x222400;
constexpr uint32_t kCallMethod = 0x222404;
constexpr uint32_t kGetNotifyCode = 0x222408;

constexpr std::size_t kMaxPending = 64;
constexpr uint32_t kReplySignature = 0x426F6F42;
constexpr uint16_t kIntegerResult = 0;
constexpr uint16_t kBufferResult = 2;

// A reply of one result: header words, then type, data length and as much data as fits.
bool reply(std::span<uint8_t> out, uint16_t type, const std::vector<uint8_t>& data,
           uint32_t& returned) {
    constexpr std::size_t kHeader = 16;
    if (out.size() < kHeader) return false;
    const std::size_t fits = std::min(data.size(), out.size() - kHeader);
    base::writeLe32(out, 0, kReplySignature);
    base::writeLe32(out, 4, static_cast<uint32_t>(kHeader + data.size()));
    base::writeLe32(out, 8, 1);
    base::writeLe16(out, 12, type);
    base::writeLe16(out, 14, static_cast<uint16_t>(data.size()));
    std::memcpy(out.data() + kHeader, data.data(), fits);
    returned = static_cast<uint32_t>(kHeader + fits);
    return true;
}

uint32_t buttonCode(const std::string& verb, const std::string& button) {
    const bool press = verb == "press";
    if (button == "mute") return press ? 0xC7 : 0xC6;
    if (button == "up") return press ? 0xC8 : 0xC9;
    if (button == "down") return press ? 0xCA : 0xCB;
    throw std::invalid_argument("firmware buttons are mute, up and down");
}

}  // namespace

bool parseSimLevels(const std::string& text, FirmwareOptions& options, std::string& error) {
    std::vector<uint8_t> levels;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        unsigned long v = 0;
        try {
            v = parseWhole(item, 10, 0xFFFF, "");
        } catch (const std::invalid_argument&) {
            error = "--sim-levels takes levels 0,10,...,100 or one raw data length";
            return false;
        }
        levels.push_back(static_cast<uint8_t>(v));
        if (text.find(',') == std::string::npos) {
            options.levelDataLength = static_cast<int>(v);
            return true;
        }
        if (v > 255) {
            error = "a level is at most 255";
            return false;
        }
    }
    options.levels = std::move(levels);
    options.levelDataLength = -1;
    return true;
}

bool SimFirmware::callMethod(std::span<const uint8_t> in, std::span<uint8_t> out,
                             uint32_t& returned) {
    if (in.size() != 20) return false;
    const std::string name(reinterpret_cast<const char*>(in.data()) + 4, 4);
    {
        std::lock_guard lock(m_);
        methods_.push(name);
    }
    if (name == "MBID") {
        std::vector<uint8_t> data(4);
        base::writeLe32(data, 0, static_cast<uint32_t>(options_.model));
        return reply(out, kIntegerResult, data, returned);
    }
    if (name == "QZLV") {
        std::vector<uint8_t> data;
        if (options_.levelDataLength >= 0) {
            data.resize(static_cast<std::size_t>(options_.levelDataLength));
            for (std::size_t i = 2; i < data.size(); ++i) {
                data[i] = static_cast<uint8_t>(std::min<std::size_t>((i - 2) * 10, 255));
            }
        } else {
            data = {0, 0};
            data.insert(data.end(), options_.levels.begin(), options_.levels.end());
        }
        return reply(out, kBufferResult, data, returned);
    }
    if (name == "MXBR" || name == "DEBR" || name == "INBR" || name == "TLCD") {
        return reply(out, kIntegerResult, std::vector<uint8_t>(4, 0), returned);
    }
    return false;
}

bool SimFirmware::control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                          uint32_t& returned) {
    switch (code) {
        case kInit:
            returned = 0;
            return true;
        case kRegisterEvent:
            if (in.size() != 4) return false;
            returned = static_cast<uint32_t>(std::min<std::size_t>(out.size(), 4));
            return true;
        case kCallMethod:
            return callMethod(in, out, returned);
        case kGetNotifyCode: {
            base::Event* again = nullptr;
            {
                std::lock_guard lock(m_);
                if (pending_.empty() || out.size() < 4) return false;
                base::writeLe32(out, 0, pending_.front());
                pending_.pop_front();
                // One signal may stand for several codes: signal again while any is left.
                if (!pending_.empty()) again = notifyEvent_;
            }
            base::setEvent(again);
            returned = 4;
            return true;
        }
        default:
            return false;
    }
}

void SimFirmware::setNotifyEvent(base::Event* event) {
    bool pending = false;
    {
        std::lock_guard lock(m_);
        notifyEvent_ = event;
        pending = !pending_.empty();
    }
    // Codes raised before anyone listened are told at once.
    if (pending) base::setEvent(event);
}

void SimFirmware::notify(uint32_t code) {
    base::Event* event = nullptr;
    {
        std::lock_guard lock(m_);
        pending_.push_back(code);
        if (pending_.size() > kMaxPending) pending_.pop_front();
        event = notifyEvent_;
    }
    base::setEvent(event);
}

nlohmann::json SimFirmware::command(const nlohmann::json& args) {
    if (args.size() == 2 && args[0].is_string() && args[1].is_string()) {
        const std::string verb = args[0].get<std::string>();
        if (verb == "press" || verb == "release") {
            const uint32_t code = buttonCode(verb, args[1].get<std::string>());
            notify(code);
            return {{"notified", code}};
        }
        if (verb == "notify") {
            const auto code = static_cast<uint32_t>(parseWhole(
                args[1].get<std::string>(), 0, 0xFFFFFFFFul, "notify takes a code such as 0xD0"));
            notify(code);
            return {{"notified", code}};
        }
    }
    throw std::invalid_argument("firmware verbs: press|release mute|up|down, notify CODE");
}

nlohmann::json SimFirmware::status() const {
    std::lock_guard lock(m_);
    return {{"present", options_.present},
            {"model", options_.model},
            {"methods", methods_.entries()},
            {"methodsDropped", methods_.dropped()},
            {"pendingCodes", pending_.size()}};
}

}  // namespace platform::sim
