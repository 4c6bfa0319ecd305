// Endpoint-style audio on a PulseAudio-compatible server (PulseAudio itself or PipeWire's pulse
// server): sinks and sources as endpoints, the default sink as the default output.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio.h"

namespace platform::linux_adapter {

class PulseConnection;

// What the kept connection knows of the default sink, for tests and benchmarks to wait on.
struct SinkCacheState {
    uint64_t events = 0;   // sink and server events taken in since the process started
    bool trusted = false;  // the next step may go out without asking first
    uint64_t retaken = 0;  // steps taken again from a level another client had just set
};

class PulseAudioEndpoints final : public AudioEndpoints {
public:
    // keepConnection: reuse one connection across operations while it stays up, instead of
    // connecting for each one. followEvents (kept connection only): keep the default sink's
    // volume and mute from the server's events, so that a step is one round trip; without it
    // every operation asks which sink is the default and what its volume is.
    explicit PulseAudioEndpoints(bool keepConnection = true, bool followEvents = true)
        : keep_(keepConnection), follow_(keepConnection && followEvents) {}
    std::unique_ptr<DeviceEnumerator> open() override;

    // Takes in what the server has sent, without waiting.
    SinkCacheState cacheState();
    // Takes in what the server sends until more than `events` events were seen or `ms` passed;
    // false on the time-out or without a kept connection.
    bool waitForEvents(uint64_t events, int ms);
    // Takes in what the server sends until the events of our own changes have come, for up to
    // `ms`; whether the next step may then go out without asking first.
    bool settle(int ms);
    // Leaves what the server sends unread until a step needs an answer, as when its events are
    // still on the way when a key comes.
    void holdEventsUntilNextStep() { hold_ = true; }

private:
    bool keep_;
    bool follow_;
    bool hold_ = false;
    std::shared_ptr<PulseConnection> kept_;
    uint64_t eventsBefore_ = 0;  // taken in on connections given up since
    uint64_t retakenBefore_ = 0;
};

}  // namespace platform::linux_adapter
