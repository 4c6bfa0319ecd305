#include "base/thread.h"

#include <pthread.h>

#include <chrono>
#include <system_error>
#include <thread>

namespace base {

bool startThread(const std::string& name, std::function<void()> body) {
    try {
        std::thread t([name, body = std::move(body)] {
            // Names show in gdb and top; the kernel keeps 15 characters.
            pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
            body();
        });
        t.detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

uint32_t getTickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void sleepMs(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace base
