// The firmware driver made of the acpi_call module's /proc/acpi/call for method calls and the
// firmware buttons' notify codes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/acpi_driver.h"
#include "platform/linux/acpi/evdev_buttons.h"

namespace platform::linux_adapter {

constexpr uint32_t kAcpiRegisterEventCode = 0x222400;
constexpr uint32_t kAcpiCallMethodCode = 0x222404;
constexpr uint32_t kAcpiGetNotifyCode = 0x222408;
constexpr uint32_t kAcpiInitCode = 0x22240C;

// Writes one method path and gives back the module's reply, or nothing when the file could not
// be written or read. Calls of the whole process take turns.
using AcpiCallTransact = std::function<std::optional<std::string>(const std::string& method)>;

// The transaction on the module's file at `path` (/proc/acpi/call).
AcpiCallTransact acpiCallFile(std::string path);

class AcpiProcCallDevice final : public AcpiDevice {
public:
    // `methodPrefix` goes before every four-character method name (`\_SB.PCI0.LPCB.EC0.`).
    AcpiProcCallDevice(std::string methodPrefix, AcpiCallTransact transact,
                       std::shared_ptr<NotifyQueue> notifications);
    bool control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 uint32_t& returned) override;
    void setNotifyEvent(base::Event* event) override;

private:
    std::string prefix_;
    AcpiCallTransact transact_;
    std::shared_ptr<NotifyQueue> notifications_;
};

}  // namespace platform::linux_adapter
