// Where hidraw nodes come from: the ones present, the ones that come and go, their report
// descriptors and opening them. libudev in the daemon; tests hand in their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux_adapter {

struct HidrawNode {
    std::string syspath;  // names the node while it exists
    std::string devnode;  // /dev/hidrawN
};

struct HidrawChange {
    bool added = false;  // else removed
    HidrawNode node;
};

class HidrawDevices {
public:
    virtual ~HidrawDevices() = default;
    // Starts following changes, then lists the nodes present (so none is missed in between).
    virtual std::vector<HidrawNode> start() = 0;
    // Readable when a change may be waiting; -1 when changes cannot be followed.
    virtual int changesFd() = 0;
    // The next change, or none once drained.
    virtual std::optional<HidrawChange> nextChange() = 0;
    // The node's report descriptor; empty with `error` set when it cannot be read.
    virtual std::vector<uint8_t> reportDescriptor(const HidrawNode& node, std::string& error) = 0;
    // A non-blocking, read-only descriptor of the node, or -errno.
    virtual int open(const HidrawNode& node) = 0;
};

// The system's hidraw nodes through libudev, their descriptors from sysfs.
std::unique_ptr<HidrawDevices> makeUdevHidrawDevices();

}  // namespace platform::linux_adapter
