#include "base/event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace base {

namespace {

struct Waiter {
    std::condition_variable cv;
};

// One lock for all events keeps a wait on several events atomic: a waiter either sees an event
// signalled and consumes it, or is registered with it before anyone can set it.
// Never destroyed: detached threads may still wait on events while the process exits.
std::mutex& registryMutex() {
    static auto* m = new std::mutex;
    return *m;
}

}  // namespace

class Event {
public:
    Event(bool manualReset, bool initialState, std::string name)
        : manualReset_(manualReset), signalled_(initialState), name_(std::move(name)) {}

    const bool manualReset_;
    bool signalled_;
    const std::string name_;
    std::vector<Waiter*> waiters_;
};

namespace {

struct Registry {
    std::deque<std::unique_ptr<Event>> all;
    std::map<std::string, Event*, std::less<>> byName;
};

Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

void wakeWaiters(Event* e) {
    for (Waiter* w : e->waiters_) w->cv.notify_one();
}

}  // namespace

Event* createEvent(bool manualReset, bool initialState, std::string_view name) {
    std::lock_guard lock(registryMutex());
    Registry& r = registry();
    if (!name.empty()) {
        if (auto it = r.byName.find(name); it != r.byName.end()) return it->second;
    }
    r.all.push_back(std::make_unique<Event>(manualReset, initialState, std::string(name)));
    Event* e = r.all.back().get();
    if (!name.empty()) r.byName.emplace(std::string(name), e);
    return e;
}

Event* openEvent(std::string_view name) {
    std::lock_guard lock(registryMutex());
    auto it = registry().byName.find(name);
    return it == registry().byName.end() ? nullptr : it->second;
}

bool setEvent(Event* event) {
    if (!event) return false;
    std::lock_guard lock(registryMutex());
    event->signalled_ = true;
    wakeWaiters(event);
    return true;
}

bool resetEvent(Event* event) {
    if (!event) return false;
    std::lock_guard lock(registryMutex());
    event->signalled_ = false;
    return true;
}

uint32_t waitForSingleObject(Event* event, uint32_t milliseconds) {
    Event* one[1] = {event};
    return waitForMultipleObjects(one, milliseconds);
}

uint32_t waitForMultipleObjects(std::span<Event* const> events, uint32_t milliseconds) {
    if (events.empty() || events.size() > kMaximumWaitObjects) return kWaitFailed;
    if (std::find(events.begin(), events.end(), nullptr) != events.end()) return kWaitFailed;

    using Clock = std::chrono::steady_clock;
    const bool forever = milliseconds == kInfinite;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);

    Waiter self;
    std::unique_lock lock(registryMutex());
    auto takeSignalled = [&]() -> int {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]->signalled_) {
                if (!events[i]->manualReset_) events[i]->signalled_ = false;
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    auto enlist = [&](bool on) {
        for (Event* e : events) {
            if (on) {
                e->waiters_.push_back(&self);
            } else {
                auto it = std::find(e->waiters_.begin(), e->waiters_.end(), &self);
                if (it != e->waiters_.end()) e->waiters_.erase(it);
            }
        }
    };

    int index = takeSignalled();
    if (index >= 0) return kWaitObject0 + static_cast<uint32_t>(index);
    if (!forever && milliseconds == 0) return kWaitTimeout;

    enlist(true);
    while ((index = takeSignalled()) < 0) {
        if (forever) {
            self.cv.wait(lock);
        } else if (self.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            index = takeSignalled();
            break;
        }
    }
    enlist(false);
    return index >= 0 ? kWaitObject0 + static_cast<uint32_t>(index) : kWaitTimeout;
}

bool isSignalled(const Event* event) {
    if (!event) return false;
    std::lock_guard lock(registryMutex());
    return event->signalled_;
}

bool isManualReset(const Event* event) {
    return event && event->manualReset_;
}

std::string eventName(const Event* event) {
    return event ? event->name_ : std::string();
}

}  // namespace base
