// Worker threads that are started and never joined, and the millisecond tick count.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace base {

// Starts `body` on a detached thread; false when the thread could not be created.
bool startThread(const std::string& name, std::function<void()> body);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's tick count.
uint32_t getTickCount();

void sleepMs(uint32_t milliseconds);

}  // namespace base
