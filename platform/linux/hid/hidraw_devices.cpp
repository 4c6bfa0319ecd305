#include "platform/linux/hid/hidraw_devices.h"

#include <fcntl.h>
#include <libudev.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/linux/hid/hid_descriptor.h"

namespace platform::linux_adapter {

namespace {

std::optional<HidrawNode> nodeOf(udev_device* dev) {
    const char* syspath = udev_device_get_syspath(dev);
    const char* devnode = udev_device_get_devnode(dev);
    if (!syspath || !devnode) return std::nullopt;
    return HidrawNode{syspath, devnode};
}

class UdevHidrawDevices final : public HidrawDevices {
public:
    UdevHidrawDevices() : udev_(udev_new()) {}
    ~UdevHidrawDevices() override {
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
    }
    UdevHidrawDevices(const UdevHidrawDevices&) = delete;
    UdevHidrawDevices& operator=(const UdevHidrawDevices&) = delete;

    std::vector<HidrawNode> start() override {
        std::vector<HidrawNode> nodes;
        if (!udev_) {
            std::fprintf(stderr, "veskosd: no udev: HID buttons are not read\n");
            return nodes;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_) < 0)) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
        if (!monitor_) {
            std::fprintf(stderr, "veskosd: HID buttons plugged in later are not seen\n");
        }
        udev_enumerate* e = udev_enumerate_new(udev_);
        if (!e) return nodes;
        udev_enumerate_add_match_subsystem(e, "hidraw");
        udev_enumerate_scan_devices(e);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            udev_device* dev = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!dev) continue;
            if (auto node = nodeOf(dev)) nodes.push_back(std::move(*node));
            udev_device_unref(dev);
        }
        udev_enumerate_unref(e);
        return nodes;
    }

    int changesFd() override { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

    std::optional<HidrawChange> nextChange() override {
        while (monitor_) {
            udev_device* dev = udev_monitor_receive_device(monitor_);
            if (!dev) return std::nullopt;
            const char* action = udev_device_get_action(dev);
            std::optional<HidrawChange> change;
            if (auto node = nodeOf(dev); node && action) {
                if (std::strcmp(action, "add") == 0) change = HidrawChange{true, std::move(*node)};
                if (std::strcmp(action, "remove") == 0) {
                    change = HidrawChange{false, std::move(*node)};
                }
            }
            udev_device_unref(dev);
            if (change) return change;
        }
        return std::nullopt;
    }

    std::vector<uint8_t> reportDescriptor(const HidrawNode& node, std::string& error) override {
        // The HID device the node belongs to publishes it; reading it needs no access to the node.
        return readHidDescriptorFile(node.syspath + "/device/report_descriptor", error);
    }

    int open(const HidrawNode& node) override {
        const int fd = ::open(node.devnode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }

private:
    udev* udev_;
    udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<HidrawDevices> makeUdevHidrawDevices() {
    return std::make_unique<UdevHidrawDevices>();
}

}  // namespace platform::linux_adapter
