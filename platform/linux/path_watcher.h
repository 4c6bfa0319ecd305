// Device notices for one device path, by watching its directory with inotify. Device nodes in
// /dev come and go there whether or not udev runs, and so do links to them.
#pragma once

#include <atomic>
#include <string>

#include "platform/serial.h"

namespace platform::linux_adapter {

class PathWatcher final : public DeviceNotices {
public:
    // `portName` is what the program calls the device ("COM1").
    PathWatcher(std::string path, std::string portName)
        : path_(std::move(path)), portName_(std::move(portName)) {}
    void start(std::function<void(const DeviceNotice&)> deliver) override;
    bool registerHandle(intptr_t handle) override;

private:
    void watch(int fd, int wd, const std::string& name);

    std::string path_;
    std::string portName_;
    std::atomic<intptr_t> handle_{-1};
    std::function<void(const DeviceNotice&)> deliver_;
};

}  // namespace platform::linux_adapter
