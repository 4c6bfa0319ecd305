// One inhibitor lock of the login manager, held while its descriptor is open.
#pragma once

#include <mutex>
#include <string>

namespace platform::linux_adapter {

class Inhibitor {
public:
    Inhibitor(std::string what, std::string why, std::string mode);
    ~Inhibitor();
    Inhibitor(const Inhibitor&) = delete;
    Inhibitor& operator=(const Inhibitor&) = delete;

    // Takes the lock unless it is held; whether it is held afterwards.
    bool take(int timeoutMs);
    void release();
    bool held() const;
    // Hands the descriptor over to the caller, who closes it when done: -1 when not held.
    int detach();

private:
    std::string what_, why_, mode_;
    mutable std::mutex m_;
    int fd_ = -1;
};

}  // namespace platform::linux_adapter
