// A serial line and the notices of its device coming and going.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

struct LineSettings {
    uint32_t baudRate = 0;
    uint8_t byteSize = 0;
    bool parity = false;
    uint8_t stopBits = 0;
};

// One open port. Reads and waits happen on the receive thread, writes on the send thread;
// close() may come from any thread and wakes both.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    virtual bool getState(LineSettings& settings) = 0;
    virtual bool setState(const LineSettings& settings) = 0;
    // A read ends after the bytes asked for, or after a gap longer than this between two bytes.
    virtual bool setReadIntervalTimeout(uint32_t milliseconds) = 0;
    // Which events wake waitForReceive: only received characters are ever asked for.
    virtual bool setReceiveMask() = 0;
    // Blocks until a byte has arrived; false when the port was closed or broke. A line whose
    // far end hung up is dead: the wait then lasts until the port is closed.
    virtual bool waitForReceive() = 0;
    // Up to `size` bytes under the interval rule; the count read, or -1 on failure or hang-up.
    virtual int read(uint8_t* buffer, std::size_t size) = 0;
    virtual bool write(const uint8_t* buffer, std::size_t size) = 0;
    virtual void close() = 0;
    // A small number naming the open port, for the handle that the core shows.
    virtual intptr_t handle() const = 0;
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // Opens the port the program's "COM1" stands for; null when it cannot be opened.
    virtual std::shared_ptr<SerialPort> open() = 0;
};

// Device-change events and device types, with their long-standing values.
inline constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr uint32_t DBT_DEVICEQUERYREMOVE = 0x8001;
inline constexpr uint32_t DBT_DEVICEQUERYREMOVEFAILED = 0x8002;
inline constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr uint32_t DBT_DEVTYP_PORT = 3;
inline constexpr uint32_t DBT_DEVTYP_HANDLE = 6;

struct DeviceNotice {
    uint32_t event = 0;
    uint32_t deviceType = 0;
    std::string name;  // for ports: "COM1"
};

class DeviceNotices {
public:
    virtual ~DeviceNotices() = default;
    // Starts watching; notices are delivered from any thread.
    virtual void start(std::function<void(const DeviceNotice&)> deliver) = 0;
    // Asks for handle notices (query-remove) about this open port; false when it is not open.
    virtual bool registerHandle(intptr_t handle) = 0;
};

}  // namespace platform
