#include "platform/linux/systemd/backlight_logind.h"

#include <systemd/sd-bus.h>

#include <chrono>

namespace platform::linux_adapter {

namespace {

struct Answer {
    bool done = false;
    bool ok = false;
};

int onAnswer(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
    auto* answer = static_cast<Answer*>(userdata);
    answer->done = true;
    answer->ok = sd_bus_message_is_method_error(reply, nullptr) == 0;
    return 0;
}

}  // namespace

bool setBacklightThroughLogind(const std::string& name, uint32_t raw, int timeoutMs) {
    // A blocking call would also wait out the bus's own authentication time-out; the deadline
    // here bounds the whole exchange, connection included.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return false;
    sd_bus_message* call = nullptr;
    sd_bus_slot* slot = nullptr;
    Answer answer;
    int r = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                           "/org/freedesktop/login1/session/auto",
                                           "org.freedesktop.login1.Session", "SetBrightness");
    if (r >= 0) r = sd_bus_message_append(call, "ssu", "backlight", name.c_str(), raw);
    if (r >= 0) r = sd_bus_call_async(bus, &slot, call, onAnswer, &answer, 0);
    while (r >= 0 && !answer.done) {
        r = sd_bus_process(bus, nullptr);
        if (r != 0) continue;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        r = sd_bus_wait(bus, static_cast<uint64_t>(left.count()));
    }
    // Dropping the slot first keeps a late answer away from `answer`.
    sd_bus_slot_unref(slot);
    sd_bus_message_unref(call);
    sd_bus_close_unref(bus);
    return answer.done && answer.ok;
}

}  // namespace platform::linux_adapter
