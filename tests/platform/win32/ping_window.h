// A window of the calling thread that, when another thread posts it a ping, posts that ping's
// number to a queue: it shows whether the thread's message loop runs.
#pragma once

#include <cstdint>

#include "base/message_queue.h"

namespace testsupport {

constexpr uint32_t kPinged = 1;

void* makePingWindow(base::MessageQueue* queue);
void ping(void* window, uint64_t number);
void destroyPingWindow(void* window);
// Puts a WM_QUIT into the calling thread's queue.
void postThreadQuit();

}  // namespace testsupport
