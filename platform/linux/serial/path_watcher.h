// Device notices for one device path. The path is followed with inotify through every directory
// on the way to it, so it is noticed however it comes and goes: created or removed, renamed over,
// or with a directory above it removed and made again (as udev does for /dev/serial/by-id). The
// registered handle is watched for a hang-up, which counts as a removal.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial.h"

namespace platform::linux_adapter {

class PathWatcher final : public DeviceNotices {
public:
    // `portName` is what the program calls the device ("COM1").
    PathWatcher(std::string path, std::string portName);
    ~PathWatcher() override;
    PathWatcher(const PathWatcher&) = delete;
    PathWatcher& operator=(const PathWatcher&) = delete;

    void start(std::function<void(const DeviceNotice&)> deliver) override;
    bool registerHandle(intptr_t handle) override;

    // How long an arrival that cannot be opened yet (EACCES) waits for its permissions.
    static constexpr std::chrono::milliseconds kPermissionGrace{5000};

private:
    struct Node {
        dev_t dev = 0;
        ino_t ino = 0;
        bool operator==(const Node&) const = default;
    };

    void run();
    void readEvents();
    // Watches every existing directory on the way to the path, then tells what changed at it.
    void rescan(bool tell = true);
    void arrived();
    void removed();
    // Delivers a held-back arrival once the device can be opened, or once the grace is over.
    void retryArrival();
    void takeNewHandle();
    void dropHandle();

    std::string path_;
    std::string portName_;
    // The directories on the way, outermost first, each with the name looked for in it.
    std::vector<std::pair<std::string, std::string>> steps_;
    std::function<void(const DeviceNotice&)> deliver_;

    int inotify_ = -1;
    int wake_[2] = {-1, -1};
    std::map<int, std::size_t> watches_;  // watch descriptor -> step
    std::optional<Node> node_;            // what is at the path now
    std::optional<std::chrono::steady_clock::time_point> arrivalDeadline_;

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    int newHandle_ = -1;  // a duplicate handed over by registerHandle
    int handle_ = -1;     // the duplicate watched for a hang-up (watcher thread only)
};

}  // namespace platform::linux_adapter
