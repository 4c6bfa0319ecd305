// Events on the kernel's own event objects: a named one is the system-wide object of that name,
// so a driver or another process that opens "MORV EVENT" signals the very event waited on here.
#include "base/event.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "base/thread.h"

namespace base {

class Event {
public:
    Event(HANDLE handle, bool manualReset, std::string name)
        : handle_(handle), manualReset_(manualReset), name_(std::move(name)) {}

    const HANDLE handle_;
    // As asked for; the kernel's own answer wins where it can be had (isManualReset).
    const bool manualReset_;
    const std::string name_;
    // The kernel keeps no count of an event's waiters; this process counts its own, and the
    // ones a set released that have not yet come back from the wait (under countsMutex).
    std::size_t waiting_ = 0;
    std::size_t released_ = 0;
};

namespace {

// Kept across a set and the look at what it did, so that a released waiter cannot come back
// and wait again in between.
std::mutex& countsMutex() {
    static auto* m = new std::mutex;
    return *m;
}

// Every event this process made or opened, and the named ones by name.
struct Registry {
    std::mutex m;
    std::deque<std::unique_ptr<Event>> all;
    std::map<std::string, Event*, std::less<>> byName;
};

// Never destroyed: detached threads may still wait on events while the process exits.
Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

std::wstring wideName(std::string_view name) {
    if (name.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), out.data(), n);
    return out;
}

// NtQueryEvent reads an event's type and state without waiting on it, so without consuming an
// auto-reset event; kernel32 has no such call.
struct EventBasicInformation {
    LONG type;  // 0 notification (manual reset), 1 synchronisation (auto reset)
    LONG state;
};
using QueryEvent = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

bool queryEvent(const Event* event, EventBasicInformation& info) {
    static const auto query = reinterpret_cast<QueryEvent>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryEvent")));
    return query && query(event->handle_, 0, &info, sizeof info, nullptr) >= 0;
}

Event* adopt(Registry& r, HANDLE handle, bool manualReset, std::string_view name) {
    r.all.push_back(std::make_unique<Event>(handle, manualReset, std::string(name)));
    Event* e = r.all.back().get();
    if (!name.empty()) r.byName.emplace(std::string(name), e);
    return e;
}

}  // namespace

Event* createEvent(bool manualReset, bool initialState, std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.m);
    if (!name.empty()) {
        if (auto it = r.byName.find(name); it != r.byName.end()) return it->second;
    }
    const std::wstring wide = wideName(name);
    HANDLE h = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                            wide.empty() ? nullptr : wide.c_str());
    if (!h) return nullptr;
    Event* e = adopt(r, h, manualReset, name);
    recordCreation(name.empty() ? std::string("event") : "event " + std::string(name));
    return e;
}

Event* openEvent(std::string_view name) {
    if (name.empty()) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.m);
    if (auto it = r.byName.find(name); it != r.byName.end()) return it->second;
    const std::wstring wide = wideName(name);
    HANDLE h = OpenEventW(EVENT_ALL_ACCESS, FALSE, wide.c_str());
    if (!h) return nullptr;
    return adopt(r, h, false, name);
}

// Handles fit in 32 bits on 64-bit Windows, which is what lets a driver be given one.
uint32_t eventHandleValue(const Event* event) {
    return event ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event->handle_)) : 0;
}

Event* eventFromHandleValue(uint32_t value) {
    if (value == 0) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.m);
    const auto it = std::find_if(r.all.begin(), r.all.end(), [value](const auto& e) {
        return eventHandleValue(e.get()) == value;
    });
    return it == r.all.end() ? nullptr : it->get();
}

using SetEventReturningState = LONG(NTAPI*)(HANDLE, PLONG);

// A set of a clear auto-reset event releases one counted waiter: one in the kernel's wait now,
// or one about to enter it, which will find the event signalled. A manual-reset one releases
// them all.
bool setEvent(Event* event) {
    if (!event) return false;
    static const auto set = reinterpret_cast<SetEventReturningState>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetEvent")));
    std::lock_guard lock(countsMutex());
    LONG before = 0;
    if (set ? set(event->handle_, &before) < 0 : !SetEvent(event->handle_)) return false;
    EventBasicInformation info{};
    if (event->waiting_ > event->released_ && queryEvent(event, info)) {
        if (info.type == 0) {
            event->released_ = event->waiting_;
        } else if (before == 0) {
            ++event->released_;
        }
    }
    return true;
}

bool resetEvent(Event* event) {
    return event && ResetEvent(event->handle_);
}

uint32_t waitForSingleObject(Event* event, uint32_t milliseconds) {
    Event* one[1] = {event};
    return waitForMultipleObjects(one, milliseconds);
}

uint32_t waitForMultipleObjects(std::span<Event* const> events, uint32_t milliseconds) {
    if (events.empty() || events.size() > kMaximumWaitObjects) return kWaitFailed;
    if (std::find(events.begin(), events.end(), nullptr) != events.end()) return kWaitFailed;
    HANDLE handles[kMaximumWaitObjects];
    for (std::size_t i = 0; i < events.size(); ++i) handles[i] = events[i]->handle_;

    {
        std::lock_guard lock(countsMutex());
        for (Event* e : events) ++e->waiting_;
    }
    const DWORD r =
        WaitForMultipleObjects(static_cast<DWORD>(events.size()), handles, FALSE, milliseconds);
    {
        std::lock_guard lock(countsMutex());
        if (r < WAIT_OBJECT_0 + events.size()) {
            Event* by = events[r - WAIT_OBJECT_0];
            if (by->released_ > 0) --by->released_;
        }
        // A wait that ended otherwise (a time-out, another event) takes no release with it.
        for (Event* e : events) {
            --e->waiting_;
            e->released_ = std::min(e->released_, e->waiting_);
        }
    }
    if (r < WAIT_OBJECT_0 + events.size()) return kWaitObject0 + (r - WAIT_OBJECT_0);
    return r == WAIT_TIMEOUT ? kWaitTimeout : kWaitFailed;
}

bool isSignalled(const Event* event) {
    EventBasicInformation info{};
    return event && queryEvent(event, info) && info.state != 0;
}

bool isManualReset(const Event* event) {
    if (!event) return false;
    EventBasicInformation info{};
    return queryEvent(event, info) ? info.type == 0 : event->manualReset_;
}

std::size_t waitingThreads(const Event* event) {
    if (!event) return 0;
    std::lock_guard lock(countsMutex());
    return event->waiting_ - std::min(event->released_, event->waiting_);
}

std::string eventName(const Event* event) {
    return event ? event->name_ : std::string();
}

}  // namespace base
