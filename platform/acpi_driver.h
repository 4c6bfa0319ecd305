// The firmware control driver: a device opened by name and driven by control calls, which tells
// of pending notify codes by setting an event handed to it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace base {
class Event;
}

namespace platform {

class AcpiDevice {
public:
    virtual ~AcpiDevice() = default;
    // One control call: true when the driver took it, with the number of bytes it wrote to `out`
    // in `returned` (left alone on failure). `out` is the caller's buffer of the length it passes.
    virtual bool control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                         uint32_t& returned) = 0;
    // The driver's end of the registration call: the event it sets whenever a code is pending.
    virtual void setNotifyEvent(base::Event* event) = 0;
};

class AcpiDrivers {
public:
    virtual ~AcpiDrivers() = default;
    // The device of that name, or null when it is absent or cannot be opened.
    virtual std::shared_ptr<AcpiDevice> open(const std::string& name) = 0;
    // Whether a driver that cannot be opened is worth a message box. A machine that was never
    // given one says so once in its log instead, rather than at every start.
    virtual bool absenceIsNews() const { return true; }
    // The model number to take when the firmware cannot be asked for it; 0 for none.
    virtual uint32_t modelWithoutFirmware() { return 0; }
};

}  // namespace platform
