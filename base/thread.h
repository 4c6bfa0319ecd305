// Worker threads that are started and never joined, and the millisecond tick count.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace base {

// Starts `body` on a detached thread; false when the thread could not be created.
bool startThread(const std::string& name, std::function<void()> body);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's tick count.
uint32_t getTickCount();

void sleepMs(uint32_t milliseconds);

// The events created and threads started, oldest first, as "event NAME" and "thread NAME"
// (the last 256, with a count of the older ones): the order start-up made them in.
void recordCreation(std::string entry);
std::vector<std::string> createdObjects();
uint64_t createdObjectsDropped();

}  // namespace base
