// The firmware driver as a character device with the driver's own control codes. See
// docs/firmware.md for the ioctl layout.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>

#include "platform/acpi_driver.h"

namespace platform::linux_adapter {

// ioctl(2) as the device calls it; the tests hand in their own driver.
using IoctlCall = std::function<int(int fd, unsigned long request, void* argument)>;

// What precedes the data in every control call's buffer.
struct AcpiIoctlHeader {
    uint32_t inLength;   // input bytes at the start of the data, set by the caller
    uint32_t outLength;  // room for output in the data, set by the caller
};

class AcpiCharDevice final : public AcpiDevice {
public:
    // Takes over `fd`.
    AcpiCharDevice(int fd, IoctlCall ioctlCall);
    bool control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 uint32_t& returned) override;
    // Starts the thread that polls the device and sets `event` when a code is pending.
    void setNotifyEvent(base::Event* event) override;

    struct State;

private:
    std::shared_ptr<State> state_;
    IoctlCall ioctl_;
};

}  // namespace platform::linux_adapter
