// A serial line through termios: exclusive, 9600 8N1 raw, with the read interval enforced by
// poll, and a wake pipe so that closing the port ends any wait on it.
#pragma once

#include <string>

#include "platform/serial.h"

namespace platform::linux_adapter {

class TermiosSerialPorts final : public SerialPorts {
public:
    explicit TermiosSerialPorts(std::string path) : path_(std::move(path)) {}
    std::shared_ptr<SerialPort> open() override;

private:
    std::string path_;
};

}  // namespace platform::linux_adapter
