#include "base/event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "base/thread.h"

namespace base {

namespace {

// A thread blocked in a wait. A set hands the signal to it directly (`granted` becomes the
// index of the event in its list), so a reset that follows cannot take the wake-up back.
struct Waiter {
    std::condition_variable cv;
    std::span<Event* const> events;
    int granted = -1;
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
    Event(bool manualReset, bool initialState, std::string name, uint32_t handle)
        : manualReset_(manualReset),
          signalled_(initialState),
          name_(std::move(name)),
          handle_(handle) {}

    const bool manualReset_;
    bool signalled_;
    const std::string name_;
    const uint32_t handle_;
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

void grant(Waiter* w, const Event* e) {
    const auto it = std::find(w->events.begin(), w->events.end(), e);
    w->granted = static_cast<int>(it - w->events.begin());
    w->cv.notify_one();
}

// An auto-reset event releases the longest-waiting thread not yet released and stays clear; only
// with nobody to release does it stay signalled. A manual-reset event releases every waiter.
void signal(Event* e) {
    for (Waiter* w : e->waiters_) {
        if (w->granted >= 0) continue;
        grant(w, e);
        if (!e->manualReset_) return;
    }
    e->signalled_ = true;
}

}  // namespace

Event* createEvent(bool manualReset, bool initialState, std::string_view name) {
    std::lock_guard lock(registryMutex());
    Registry& r = registry();
    if (!name.empty()) {
        if (auto it = r.byName.find(name); it != r.byName.end()) return it->second;
    }
    const auto handle = static_cast<uint32_t>(r.all.size() + 1);
    r.all.push_back(std::make_unique<Event>(manualReset, initialState, std::string(name), handle));
    Event* e = r.all.back().get();
    if (!name.empty()) r.byName.emplace(std::string(name), e);
    recordCreation(name.empty() ? std::string("event") : "event " + std::string(name));
    return e;
}

Event* openEvent(std::string_view name) {
    std::lock_guard lock(registryMutex());
    auto it = registry().byName.find(name);
    return it == registry().byName.end() ? nullptr : it->second;
}

uint32_t eventHandleValue(const Event* event) {
    return event ? event->handle_ : 0;
}

Event* eventFromHandleValue(uint32_t value) {
    std::lock_guard lock(registryMutex());
    const std::deque<std::unique_ptr<Event>>& all = registry().all;
    return value >= 1 && value <= all.size() ? all[value - 1].get() : nullptr;
}

bool setEvent(Event* event) {
    if (!event) return false;
    std::lock_guard lock(registryMutex());
    signal(event);
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
    self.events = events;
    std::unique_lock lock(registryMutex());
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i]->signalled_) {
            if (!events[i]->manualReset_) events[i]->signalled_ = false;
            return kWaitObject0 + static_cast<uint32_t>(i);
        }
    }
    if (!forever && milliseconds == 0) return kWaitTimeout;

    for (Event* e : events) e->waiters_.push_back(&self);
    while (self.granted < 0) {
        if (forever) {
            self.cv.wait(lock);
        } else if (self.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            break;
        }
    }
    for (Event* e : events) std::erase(e->waiters_, &self);
    return self.granted >= 0 ? kWaitObject0 + static_cast<uint32_t>(self.granted) : kWaitTimeout;
}

bool isSignalled(const Event* event) {
    if (!event) return false;
    std::lock_guard lock(registryMutex());
    return event->signalled_;
}

std::size_t waitingThreads(const Event* event) {
    if (!event) return 0;
    std::lock_guard lock(registryMutex());
    return static_cast<std::size_t>(std::count_if(event->waiters_.begin(), event->waiters_.end(),
                                                  [](const Waiter* w) { return w->granted < 0; }));
}

bool isManualReset(const Event* event) {
    return event && event->manualReset_;
}

std::string eventName(const Event* event) {
    return event ? event->name_ : std::string();
}

}  // namespace base
