// The journal's view of refused control clients: the first refusal is told at once, those that
// follow within a second are counted and told as one line when the second is up, so a flood
// of refused connections costs at most one line a second and every refusal is accounted for.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace control {

class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kQuietPeriod{1};

    // `write` takes one whole line, without its newline.
    explicit RefusalLog(std::function<void(const std::string&)> write);

    void refused(uid_t uid, pid_t pid, Clock::time_point now);
    // Tells the refusals counted so far once their second is up.
    void flush(Clock::time_point now);
    // When flush() next has something to tell; max() while nothing waits.
    Clock::time_point nextFlush() const;
    // Tells what is still counted, whatever the time: the serving ends.
    void finish();

private:
    void tellHeld();

    std::function<void(const std::string&)> write_;
    Clock::time_point quietUntil_{};
    uint64_t held_ = 0;
    uid_t lastUid_ = 0;
    pid_t lastPid_ = 0;
};

}  // namespace control
