#include "platform/linux/acpi/acpi_char_device.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/event.h"
#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

constexpr uint32_t kGetNotifyCode = 0x222408;

}  // namespace

// Shared with the poll thread, which outlives no one: the device lives until the process ends.
struct AcpiCharDevice::State {
    explicit State(int descriptor) : fd(descriptor) {}
    ~State() { close(fd); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    const int fd;
    std::mutex mutex;
    std::condition_variable readDone;
    uint64_t reads = 0;
    bool started = false;
};

AcpiCharDevice::AcpiCharDevice(int fd, IoctlCall ioctlCall)
    : state_(std::make_shared<State>(fd)), ioctl_(std::move(ioctlCall)) {}

bool AcpiCharDevice::control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                             uint32_t& returned) {
    const std::size_t room = std::max(in.size(), out.size());
    std::vector<uint8_t> buffer(sizeof(AcpiIoctlHeader) + room, 0);
    const AcpiIoctlHeader header{static_cast<uint32_t>(in.size()),
                                 static_cast<uint32_t>(out.size())};
    std::memcpy(buffer.data(), &header, sizeof(header));
    if (!in.empty()) std::memcpy(buffer.data() + sizeof(header), in.data(), in.size());
    const int got = ioctl_(state_->fd, code, buffer.data());
    if (code == kGetNotifyCode) {
        // The poll thread waits for this before it looks at the device again; otherwise a
        // pending code would keep it setting the event until the reader comes round.
        {
            std::lock_guard lock(state_->mutex);
            ++state_->reads;
        }
        state_->readDone.notify_all();
    }
    // A driver claiming more than the room it was given is not believed.
    if (got < 0 || static_cast<std::size_t>(got) > out.size()) return false;
    if (got > 0) std::memcpy(out.data(), buffer.data() + sizeof(header), got);
    returned = static_cast<uint32_t>(got);
    return true;
}

void AcpiCharDevice::setNotifyEvent(base::Event* event) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->started) return;
        state_->started = true;
    }
    std::shared_ptr<State> state = state_;
    base::startThread("firmware-notify", [state, event] {
        for (;;) {
            pollfd p{state->fd, POLLIN | POLLPRI, 0};
            const int r = poll(&p, 1, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                std::fprintf(stderr, "veskosd: the firmware driver stopped notifying\n");
                return;
            }
            std::unique_lock lock(state->mutex);
            const uint64_t seen = state->reads;
            base::setEvent(event);
            state->readDone.wait(lock, [&] { return state->reads != seen; });
        }
    });
}

}  // namespace platform::linux_adapter
