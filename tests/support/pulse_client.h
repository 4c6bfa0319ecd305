// Another client of the sound server ($PULSE_SERVER), on a thread of its own: it can have a
// request in flight while the test does something else.
#pragma once

#include <string>

struct pa_threaded_mainloop;
struct pa_context;

namespace testsupport {

class PulseClient {
public:
    // Throws std::runtime_error when it cannot connect.
    PulseClient();
    ~PulseClient();
    PulseClient(const PulseClient&) = delete;
    PulseClient& operator=(const PulseClient&) = delete;

    // Sends the set (every channel to `percent`) and returns without waiting for the answer.
    void setSinkVolumeAsync(const std::string& sink, int percent);
    // Waits until every request sent was answered; throws after 2 s.
    void waitIdle();

private:
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
    int pending_ = 0;
};

}  // namespace testsupport
