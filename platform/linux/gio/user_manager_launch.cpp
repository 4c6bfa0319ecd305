#include "platform/linux/gio/user_manager_launch.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-id128.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform::linux_adapter {

namespace {

// As long as any one exchange with the login manager may take; the caller is a button's thread.
constexpr int kStartTimeoutMs = 1500;
// Keeps the whole name well inside systemd's 255 characters.
constexpr std::size_t kMaxNamePart = 128;

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};

struct Answer {
    bool done = false;
    bool absent = false;  // nobody owns the manager's name
    std::string error;    // empty when the manager took the job
};

int onAnswer(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
    auto* answer = static_cast<Answer*>(userdata);
    answer->done = true;
    if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
        answer->absent =
            sd_bus_error_has_names(e, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
        answer->error = e->message ? e->message : (e->name ? e->name : "an error");
    }
    return 0;
}

// The program's file name as one part of a unit name, escaped as systemd-escape does: "-" too,
// which the conventions keep out of an application's name.
std::string namePart(const std::string& program) {
    const std::string base = program.substr(program.find_last_of('/') + 1);
    std::string out;
    for (std::size_t i = 0; i < base.size(); ++i) {
        const auto c = static_cast<unsigned char>(base[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ':' || c == '_' || (c == '.' && i > 0);
        char piece[5] = {static_cast<char>(c), '\0'};
        if (!plain) std::snprintf(piece, sizeof piece, "\\x%02x", c);
        if (out.size() + std::strlen(piece) > kMaxNamePart) break;
        out += piece;
    }
    return out.empty() ? "program" : out;
}

int appendProperties(sd_bus_message* m, const std::vector<std::string>& command) {
    const std::string description = command[0] + " launched by veskosd";
    int r = sd_bus_message_open_container(m, 'a', "(sv)");
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "Description", "s", description.c_str());
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "Slice", "s", "app.slice");
    // Started once exec succeeded; running while anything it started runs, as a detached
    // program would; gone from the manager's list once it ended, failed or not.
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "Type", "s", "exec");
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "ExitType", "s", "cgroup");
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "CollectMode", "s", "inactive-or-failed");
    if (r >= 0) r = sd_bus_message_open_container(m, 'r', "sv");
    if (r >= 0) r = sd_bus_message_append(m, "s", "ExecStart");
    if (r >= 0) r = sd_bus_message_open_container(m, 'v', "a(sasb)");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(sasb)");
    if (r >= 0) r = sd_bus_message_open_container(m, 'r', "sasb");
    if (r >= 0) r = sd_bus_message_append(m, "s", command[0].c_str());
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "s");
    for (const std::string& word : command) {
        if (r >= 0) r = sd_bus_message_append(m, "s", word.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "b", 0);  // a failure is not ignored
    // The command, the command list, the variant, the property, the property list.
    for (int i = 0; i < 5 && r >= 0; ++i) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "a(sa(sv))", 0);
    return r;
}

std::string errorText(int negativeErrno) {
    return std::strerror(-negativeErrno);  // NOLINT(concurrency-mt-unsafe): glibc's is safe
}

// Says `reason` on stderr unless it was the last thing said; an empty one only resets.
void sayOnChange(const std::string& reason) {
    static std::mutex m;
    static std::string last;
    std::lock_guard lock(m);
    if (reason == last) return;
    last = reason;
    if (!reason.empty()) {
        std::fprintf(stderr, "veskosd: launched programs run as children of veskosd: %s\n",
                     reason.c_str());
    }
}

}  // namespace

bool runsUnderUserManager() {
    const char* manager = std::getenv("MANAGERPID");  // NOLINT(concurrency-mt-unsafe)
    return manager && *manager;
}

std::string appUnitName(const std::string& program) {
    sd_id128_t id;
    char random[SD_ID128_STRING_MAX] = {};
    if (sd_id128_randomize(&id) < 0) return {};
    sd_id128_to_string(id, random);
    return "app-veskosd-" + namePart(program) + "@" + random + ".service";
}

bool startAppUnit(const std::vector<std::string>& command, int timeoutMs, std::string& why) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (command.empty()) {
        why = "nothing to start";
        return false;
    }
    const std::string unit = appUnitName(command[0]);
    if (unit.empty()) {
        why = "no random unit name";
        return false;
    }
    sd_bus* raw = nullptr;
    // Connecting does not wait for the bus: the hand-shake runs in the loop below.
    int r = sd_bus_open_user(&raw);
    if (r < 0) {
        why = "no user bus (" + errorText(r) + ")";
        return false;
    }
    const std::unique_ptr<sd_bus, BusClose> bus(raw);
    sd_bus_message* rawRequest = nullptr;
    r = sd_bus_message_new_method_call(bus.get(), &rawRequest, "org.freedesktop.systemd1",
                                       "/org/freedesktop/systemd1",
                                       "org.freedesktop.systemd1.Manager", "StartTransientUnit");
    const std::unique_ptr<sd_bus_message, MessageUnref> request(rawRequest);
    if (r >= 0) r = sd_bus_message_append(request.get(), "ss", unit.c_str(), "fail");
    if (r >= 0) r = appendProperties(request.get(), command);
    Answer answer;
    sd_bus_slot* slot = nullptr;
    if (r >= 0) r = sd_bus_call_async(bus.get(), &slot, request.get(), onAnswer, &answer, 0);
    if (r < 0) {
        why = "the request could not be made (" + errorText(r) + ")";
        return false;
    }
    while (!answer.done && r >= 0) {
        r = sd_bus_process(bus.get(), nullptr);
        if (r != 0) continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        r = sd_bus_wait(bus.get(), static_cast<uint64_t>(left.count()));
    }
    // Dropping the slot first keeps a late answer away from `answer`. A manager that answers
    // after the deadline may still start the program, besides the caller's own start.
    sd_bus_slot_unref(slot);
    if (!answer.done) {
        why = r < 0 ? "the user bus failed (" + errorText(r) + ")"
                    : "the user manager did not answer within " + std::to_string(timeoutMs) + " ms";
        return false;
    }
    if (answer.absent) {
        why = "no systemd user manager on the user bus";
        return false;
    }
    if (!answer.error.empty()) {
        why = "the user manager refused: " + answer.error;
        return false;
    }
    return true;
}

bool startedByUserManager(const std::vector<std::string>& command) {
    std::string why = "veskosd does not run under a systemd user manager";
    if (runsUnderUserManager() && startAppUnit(command, kStartTimeoutMs, why)) {
        sayOnChange({});
        return true;
    }
    sayOnChange(why);
    return false;
}

}  // namespace platform::linux_adapter
