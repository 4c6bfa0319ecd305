#pragma once

#include <atomic>
#include <thread>

#include "base/critical_section.h"

namespace testsupport {

// Holds a critical section on another thread for as long as it lives, as a busy peer would.
class HeldElsewhere {
public:
    explicit HeldElsewhere(base::CriticalSection& cs)
        : owner_([this, &cs] {
              cs.tryEnter();
              held_ = true;
              while (!release_) std::this_thread::yield();
              cs.leave();
          }) {
        while (!held_) std::this_thread::yield();
    }
    ~HeldElsewhere() {
        release_ = true;
        owner_.join();
    }

private:
    std::atomic<bool> held_{false}, release_{false};
    std::thread owner_;
};

}  // namespace testsupport
