#include "platform/linux/hid/hidraw_input.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/window.h"
#include "platform/linux/hid/hid_descriptor.h"

namespace platform::linux_adapter {

namespace {

using Clock = std::chrono::steady_clock;

// No hidraw report is longer (the kernel's HID buffer size).
constexpr std::size_t kMaxReportSize = 16384;

class HidrawInput final : public RawInput {
public:
    explicit HidrawInput(const HidrawOptions& options)
        : options_(options), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (!options_.devices) options_.devices = makeUdevHidrawDevices();
    }

    ~HidrawInput() override {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        wake();
        if (thread_.joinable()) thread_.join();
        for (auto& [key, device] : devices_) {
            if (device.fd >= 0) close(device.fd);
        }
        if (wakeFd_ >= 0) close(wakeFd_);
    }

    HidrawInput(const HidrawInput&) = delete;
    HidrawInput& operator=(const HidrawInput&) = delete;

    // Flags make no difference here: reports reach the window whether or not it has the focus.
    bool registerDevice(uint16_t usagePage, uint16_t usage, uint32_t /*flags*/,
                        base::Window* target) override {
        if (!target || wakeFd_ < 0) return false;
        {
            std::lock_guard lock(m_);
            registered_[{usagePage, usage}] = target;
            if (!thread_.joinable()) {
                thread_ = std::thread([this] { run(); });
                pthread_setname_np(thread_.native_handle(), "hidraw");
            }
        }
        wake();  // known devices may carry the collection
        return true;
    }

    std::optional<RawInputRecord> getRawInputData(base::LPARAM handle) override {
        return records_.take(handle);
    }

private:
    struct Device {
        HidrawNode node;
        HidDescriptor descriptor;
        int fd = -1;
        int attempts = 0;                          // refused opens so far
        std::optional<Clock::time_point> retryAt;  // a refused open is tried again then
    };

    void wake() const {
        const uint64_t one = 1;
        if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof(one));
    }

    bool stopping() {
        std::lock_guard lock(m_);
        return stop_;
    }

    bool wanted(const HidDescriptor& descriptor) {
        std::lock_guard lock(m_);
        for (const auto& [key, target] : registered_) {
            if (descriptor.hasCollection(key.first, key.second)) return true;
        }
        return false;
    }

    void run() {
        for (auto& node : options_.devices->start()) add(std::move(node));
        std::vector<uint8_t> buffer(kMaxReportSize);
        std::vector<pollfd> fds;
        std::vector<std::string> keys;  // the device of each fds entry past the first two
        for (;;) {
            fds.assign({{wakeFd_, POLLIN, 0}, {options_.devices->changesFd(), POLLIN, 0}});
            keys.clear();
            for (const auto& [key, device] : devices_) {
                if (device.fd < 0) continue;
                fds.push_back({device.fd, POLLIN, 0});
                keys.push_back(key);
            }
            // Asleep until something happens, unless an open is to be tried again.
            if (poll(fds.data(), fds.size(), pollTimeout()) < 0) {
                if (errno == EINTR) continue;
                std::fprintf(stderr, "veskosd: HID buttons no longer read: %s\n",
                             std::generic_category().message(errno).c_str());
                return;
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents) service(keys[i - 2], fds[i].revents, buffer);
            }
            if (fds[1].revents) {
                while (auto change = options_.devices->nextChange()) {
                    if (change->added) {
                        add(std::move(change->node));
                    } else {
                        drop(change->node.syspath);
                    }
                }
            }
            if (fds[0].revents) {
                uint64_t count = 0;
                (void)!read(wakeFd_, &count, sizeof(count));
                if (stopping()) return;
                recheck();
            }
            retryDue();
        }
    }

    void add(HidrawNode node) {
        drop(node.syspath);  // a node seen again is read afresh
        std::string error;
        const auto bytes = options_.devices->reportDescriptor(node, error);
        // A node we cannot make sense of is someone else's business: skipped quietly.
        if (bytes.empty()) return;
        auto parsed = parseHidDescriptor(bytes);
        if (!parsed.descriptor) return;
        const std::string key = node.syspath;
        Device& device = devices_[key];
        device.node = std::move(node);
        device.descriptor = std::move(*parsed.descriptor);
        if (wanted(device.descriptor)) tryOpen(device);
    }

    void drop(const std::string& key) {
        const auto it = devices_.find(key);
        if (it == devices_.end()) return;
        if (it->second.fd >= 0) close(it->second.fd);
        devices_.erase(it);
    }

    // A registration came: devices passed over so far may now be wanted.
    void recheck() {
        for (auto& [key, device] : devices_) {
            if (device.fd >= 0 || device.retryAt || !wanted(device.descriptor)) continue;
            device.attempts = 0;
            tryOpen(device);
        }
    }

    void tryOpen(Device& device) {
        device.retryAt.reset();
        const int fd = options_.devices->open(device.node);
        if (fd >= 0) {
            device.fd = fd;
            return;
        }
        if (fd == -EACCES && device.attempts < options_.openRetries) {
            device.retryAt = Clock::now() + options_.firstRetryDelay * (1 << device.attempts);
            ++device.attempts;
            return;
        }
        if (fd == -EACCES) {
            std::fprintf(stderr,
                         "veskosd: cannot read HID buttons on %s: %s (is the udev rule "
                         "installed?)\n",
                         device.node.devnode.c_str(), std::generic_category().message(-fd).c_str());
        }
    }

    void retryDue() {
        const auto now = Clock::now();
        for (auto& [key, device] : devices_) {
            if (device.retryAt && *device.retryAt <= now) tryOpen(device);
        }
    }

    int pollTimeout() const {
        std::optional<Clock::time_point> next;
        for (const auto& [key, device] : devices_) {
            if (device.retryAt && (!next || *device.retryAt < *next)) next = device.retryAt;
        }
        if (!next) return -1;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
        return static_cast<int>(std::max<int64_t>(wait.count(), 0));
    }

    void service(const std::string& key, short revents, std::vector<uint8_t>& buffer) {
        const auto it = devices_.find(key);
        if (it == devices_.end() || it->second.fd < 0) return;
        if (revents & POLLIN) {
            const ssize_t n = read(it->second.fd, buffer.data(), buffer.size());
            if (n > 0) {
                deliver(it->second, {buffer.data(), static_cast<std::size_t>(n)});
                return;
            }
            const bool nothingYet = n < 0 && (errno == EAGAIN || errno == EINTR);
            if (nothingYet && !(revents & (POLLHUP | POLLERR | POLLNVAL))) return;
        }
        // Gone (unplugged, unbound): forgotten until it comes back.
        drop(key);
    }

    void deliver(const Device& device, std::span<const uint8_t> report) {
        // A device that numbers no reports sends none of an id byte; the record carries 0
        // there, so its reports are told apart from every numbered one.
        const uint8_t id = device.descriptor.numbered ? report[0] : 0;
        base::Window* target = nullptr;
        {
            std::lock_guard lock(m_);
            for (const auto& [key, window] : registered_) {
                if (device.descriptor.reportBelongsTo(id, key.first, key.second)) {
                    target = window;
                    break;
                }
            }
        }
        if (!target) return;
        RawInputRecord record;
        record.type = RIM_TYPEHID;
        record.report.reserve(report.size() + 1);
        if (!device.descriptor.numbered) record.report.push_back(0);
        record.report.insert(record.report.end(), report.begin(), report.end());
        base::postMessage(target, WM_INPUT, 0, records_.put(std::move(record)));
    }

    HidrawOptions options_;
    const int wakeFd_;
    RawInputRecords records_;

    std::mutex m_;
    bool stop_ = false;
    std::map<std::pair<uint16_t, uint16_t>, base::Window*> registered_;
    std::thread thread_;

    // Reader thread only.
    std::map<std::string, Device> devices_;
};

}  // namespace

std::unique_ptr<platform::RawInput> makeHidrawInput(const HidrawOptions& options) {
    return std::make_unique<HidrawInput>(options);
}

}  // namespace platform::linux_adapter
