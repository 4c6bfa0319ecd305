// The simulated firmware behind the control driver: a model number, a level list, a log of the
// methods called, and buttons that raise notify codes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/acpi_driver.h"

namespace platform::sim {

struct FirmwareOptions {
    bool present = true;
    int64_t model = 1;  // what "MBID" answers, any number
    // What "QZLV" answers: the level list after its two leading bytes. `levelDataLength`, when
    // set, replaces it with a list of that raw data length.
    std::vector<uint8_t> levels = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    int levelDataLength = -1;
};

// Parses --sim-levels: "0,10,...,100" for a list, or one number for a raw data length.
bool parseSimLevels(const std::string& text, FirmwareOptions& options, std::string& error);

class SimFirmware final : public AcpiDevice, public std::enable_shared_from_this<SimFirmware> {
public:
    explicit SimFirmware(FirmwareOptions options) : options_(std::move(options)) {}

    bool control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 uint32_t& returned) override;
    void setNotifyEvent(base::Event* event) override;

    // `sim firmware press|release mute|up|down` and `sim firmware notify CODE`.
    nlohmann::json command(const nlohmann::json& args);
    nlohmann::json status() const;
    // Raises one notify code as the driver would.
    void notify(uint32_t code);

    const FirmwareOptions& options() const { return options_; }

private:
    bool callMethod(std::span<const uint8_t> in, std::span<uint8_t> out, uint32_t& returned);

    const FirmwareOptions options_;
    mutable std::mutex m_;
    base::Event* notifyEvent_ = nullptr;
    std::deque<uint32_t> pending_;
    base::RecentEntries<std::string> methods_;
};

// Opens the simulated firmware under any name, unless it is absent.
class SimAcpiDrivers final : public AcpiDrivers {
public:
    explicit SimAcpiDrivers(std::shared_ptr<SimFirmware> firmware)
        : firmware_(std::move(firmware)) {}
    std::shared_ptr<AcpiDevice> open(const std::string&) override {
        return firmware_->options().present ? firmware_ : nullptr;
    }

private:
    std::shared_ptr<SimFirmware> firmware_;
};

}  // namespace platform::sim
