#include "platform/linux/session/refusal_log.h"

#include <unistd.h>

#include <utility>

namespace control {

namespace {

std::string served() {
    const uid_t own = geteuid();
    return own == 0 ? "only root is served"
                    : "only uid " + std::to_string(own) + " and root are served";
}

std::string client(uid_t uid, pid_t pid) {
    return "uid " + std::to_string(uid) + ", pid " + std::to_string(pid);
}

}  // namespace

RefusalLog::RefusalLog(std::function<void(const std::string&)> write) : write_(std::move(write)) {}

void RefusalLog::refused(uid_t uid, pid_t pid, Clock::time_point now) {
    flush(now);
    if (now < quietUntil_) {
        ++held_;
        lastUid_ = uid;
        lastPid_ = pid;
        return;
    }
    write_("veskosd: control socket: refused a client (" + client(uid, pid) + "); " + served());
    quietUntil_ = now + kQuietPeriod;
}

void RefusalLog::flush(Clock::time_point now) {
    if (held_ == 0 || now < quietUntil_) return;
    tellHeld();
    quietUntil_ = now + kQuietPeriod;
}

void RefusalLog::finish() {
    if (held_ != 0) tellHeld();
}

void RefusalLog::tellHeld() {
    write_("veskosd: control socket: refused " + std::to_string(held_) +
           " more client(s) since the last line, the last (" + client(lastUid_, lastPid_) + ")");
    held_ = 0;
}

RefusalLog::Clock::time_point RefusalLog::nextFlush() const {
    return held_ == 0 ? Clock::time_point::max() : quietUntil_;
}

}  // namespace control
