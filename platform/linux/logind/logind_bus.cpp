#include "platform/linux/logind/logind_bus.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform::linux_adapter::logind {

namespace {

struct Answer {
    bool done = false;
    Message reply;
};

int onAnswer(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
    auto* answer = static_cast<Answer*>(userdata);
    answer->done = true;
    if (sd_bus_message_is_method_error(reply, nullptr) == 0) {
        answer->reply.reset(sd_bus_message_ref(reply));
    }
    return 0;
}

int onWatched(sd_bus_message* m, void* userdata, sd_bus_error* /*error*/) {
    (*static_cast<std::function<void(sd_bus_message*)>*>(userdata))(m);
    return 0;
}

Clock::time_point after(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

bool Connection::open() {
    return sd_bus_open_system(&bus_) >= 0;
}

Connection::~Connection() {
    sd_bus_slot_unref(watchSlot_);
    if (bus_) sd_bus_close_unref(bus_);
}

bool Connection::runUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    if (!bus_) return false;
    for (;;) {
        if (done()) return true;
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) return done();
        if (r > 0) continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return done();
        if (sd_bus_wait(bus_, static_cast<uint64_t>(left.count())) < 0) return done();
    }
}

Message Connection::call(const char* interface, const char* member,
                         const std::function<int(sd_bus_message*)>& append,
                         Clock::time_point deadline) {
    if (!bus_) return nullptr;
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_, &raw, kService, kPath, interface, member) < 0) {
        return nullptr;
    }
    Message request(raw);
    if (append && append(request.get()) < 0) return nullptr;
    Answer answer;
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_async(bus_, &slot, request.get(), onAnswer, &answer, 0) < 0) return nullptr;
    runUntil([&answer] { return answer.done; }, deadline);
    // Dropping the slot first keeps a late answer away from `answer`.
    sd_bus_slot_unref(slot);
    return std::move(answer.reply);
}

bool Connection::watch(const char* member, std::function<void(sd_bus_message*)> onSignal,
                       Clock::time_point deadline) {
    if (!bus_ || watchSlot_) return false;
    onSignal_ = std::move(onSignal);
    if (sd_bus_match_signal_async(bus_, &watchSlot_, kService, kPath, kManager, member, onWatched,
                                  nullptr, &onSignal_) < 0) {
        return false;
    }
    // The bus takes the match before it passes on a later message of ours: once the login
    // manager answered a ping, the watch is in place.
    return call("org.freedesktop.DBus.Peer", "Ping", nullptr, deadline) != nullptr;
}

Message callManager(const char* member, const std::function<int(sd_bus_message*)>& append,
                    int timeoutMs) {
    const auto deadline = after(timeoutMs);
    Connection c;
    if (!c.open()) return nullptr;
    return c.call(kManager, member, append, deadline);
}

std::optional<std::string> managerString(const char* property, int timeoutMs) {
    const auto deadline = after(timeoutMs);
    Connection c;
    if (!c.open()) return std::nullopt;
    Message reply = c.call(
        "org.freedesktop.DBus.Properties", "Get",
        [property](sd_bus_message* m) {
            return sd_bus_message_append(m, "ss", kManager, property);
        },
        deadline);
    const char* value = nullptr;
    if (!reply || sd_bus_message_read(reply.get(), "v", "s", &value) < 0 || !value) {
        return std::nullopt;
    }
    return std::string(value);
}

bool answers(int timeoutMs) {
    const auto deadline = after(timeoutMs);
    Connection c;
    if (!c.open()) return false;
    return c.call("org.freedesktop.DBus.Peer", "Ping", nullptr, deadline) != nullptr;
}

int inhibit(const std::string& what, const std::string& why, const std::string& mode,
            int timeoutMs) {
    Message reply = callManager(
        "Inhibit",
        [&](sd_bus_message* m) {
            return sd_bus_message_append(m, "ssss", what.c_str(), "veskosd", why.c_str(),
                                         mode.c_str());
        },
        timeoutMs);
    int fd = -1;
    if (!reply || sd_bus_message_read(reply.get(), "h", &fd) < 0 || fd < 0) return -1;
    // The descriptor belongs to the reply, which is about to go.
    return fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

}  // namespace platform::linux_adapter::logind
