// Kernel-style events: auto- or manual-reset, optionally named, waitable one or many at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace base {

class Event;

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr std::size_t kMaximumWaitObjects = 8;

// Events live until the process ends, as nothing in the program ever closes one; a handle is
// therefore a plain pointer that any thread may copy. Creating a name that exists opens the
// existing event and leaves its state and reset mode as they are.
Event* createEvent(bool manualReset, bool initialState, std::string_view name = {});
// The existing event of that name, or null.
Event* openEvent(std::string_view name);

// Both fail (return false) on a null handle, which callers rely on before start-up created it.
bool setEvent(Event* event);
bool resetEvent(Event* event);

// kWaitObject0 when signalled (an auto-reset event is consumed), kWaitTimeout, or kWaitFailed.
uint32_t waitForSingleObject(Event* event, uint32_t milliseconds);
// Waits for any one of up to kMaximumWaitObjects events; the lowest signalled index wins and
// only that one is consumed. kWaitObject0 + index, kWaitTimeout, or kWaitFailed for an empty,
// oversized or null-containing list.
uint32_t waitForMultipleObjects(std::span<Event* const> events, uint32_t milliseconds);

// The 32-bit value that names an event to a driver, and the event it names (null for 0 or a
// value that names none).
uint32_t eventHandleValue(const Event* event);
Event* eventFromHandleValue(uint32_t value);

// Observers for status reports and tests; they never consume.
bool isSignalled(const Event* event);
bool isManualReset(const Event* event);
// How many threads are blocked waiting on the event and not yet released. On Windows, whose
// kernel keeps no such count, a thread counts from just before it enters the wait until a set
// from this process releases it or the wait returns.
std::size_t waitingThreads(const Event* event);
std::string eventName(const Event* event);

}  // namespace base
