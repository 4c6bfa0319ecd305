// The firmware's volume buttons read from an evdev device and turned into the notify codes the
// firmware driver would have raised for them.
#pragma once

#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace base {
class Event;
}

namespace platform::linux_adapter {

// Press and release of mute, up and down; nothing for other keys and for the kernel's repeats,
// as the button action threads repeat by themselves.
std::optional<uint32_t> notifyCodeForKey(const input_event& ev);

// Codes waiting for the driver's reader, oldest first. Bounded: a reader that stopped reading
// loses the oldest codes, never memory.
class NotifyQueue {
public:
    static constexpr std::size_t kCapacity = 64;

    // Queues the code and sets the registered event.
    void push(uint32_t code);
    // The oldest code; the event is set again while more wait, since an auto-reset event
    // collapses two sets that came before one wait.
    std::optional<uint32_t> pop();
    // The event to set; set at once when codes already wait.
    void setEvent(base::Event* event);

private:
    std::mutex mutex_;
    std::deque<uint32_t> codes_;
    base::Event* event_ = nullptr;
};

// One read from a button source.
enum class ButtonRead { Event, Again, Gone };

// Reads events from `fd` until the source is gone: waits in poll without a time-out, asks
// `next` for events while it has them, and queues each mapped code. `next` reads one event,
// Again when nothing more is buffered.
void readButtons(int fd, const std::function<ButtonRead(input_event&)>& next, NotifyQueue& queue);

// Reads raw input_event records from a non-blocking descriptor (a pipe in the tests).
ButtonRead readRawEvent(int fd, input_event& ev);

// The grab of the device: libevdev_grab, replaceable because an emulated device takes every grab
// and keeps nothing exclusive.
using GrabButtons = int (*)(libevdev*, libevdev_grab_mode);

// Opens the evdev device at `path`, grabs it and reads it on a thread of its own into `queue`
// until the device goes away. False (logged) when it cannot be opened.
bool startButtonReader(const std::string& path, const std::shared_ptr<NotifyQueue>& queue,
                       GrabButtons grab = libevdev_grab);

}  // namespace platform::linux_adapter
