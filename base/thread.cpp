#include "base/thread.h"

#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/os.h"
#include "base/recent_entries.h"

namespace base {

namespace {

std::mutex& creationsMutex() {
    static auto* m = new std::mutex;
    return *m;
}

// Never destroyed: threads that outlive main may still start others.
RecentEntries<std::string>& creations() {
    static auto* r = new RecentEntries<std::string>;
    return *r;
}

}  // namespace

void recordCreation(std::string entry) {
    std::lock_guard lock(creationsMutex());
    creations().push(std::move(entry));
}

std::vector<std::string> createdObjects() {
    std::lock_guard lock(creationsMutex());
    return {creations().entries().begin(), creations().entries().end()};
}

uint64_t createdObjectsDropped() {
    std::lock_guard lock(creationsMutex());
    return creations().dropped();
}

bool startThread(const std::string& name, std::function<void()> body) {
    try {
        std::thread t([name, body = std::move(body)] {
            // Names show in gdb and top.
            os::nameThisThread(name);
            body();
        });
        t.detach();
        recordCreation("thread " + name);
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
