#include "tests/support/pulse_client.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

void signalLoop(pa_context*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

PulseClient::PulseClient() {
    loop_ = pa_threaded_mainloop_new();
    ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "veskosd-test-client");
    pa_context_set_state_callback(ctx_, signalLoop, loop_);
    pa_threaded_mainloop_lock(loop_);
    bool ok = pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
              pa_threaded_mainloop_start(loop_) >= 0;
    while (ok) {
        const auto s = pa_context_get_state(ctx_);
        if (s == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(s)) ok = false;
        if (ok) pa_threaded_mainloop_wait(loop_);
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!ok) {
        pa_threaded_mainloop_stop(loop_);
        pa_context_unref(ctx_);
        pa_threaded_mainloop_free(loop_);
        throw std::runtime_error("a second client could not connect to the sound server");
    }
}

PulseClient::~PulseClient() {
    pa_threaded_mainloop_stop(loop_);
    pa_context_disconnect(ctx_);
    pa_context_unref(ctx_);
    pa_threaded_mainloop_free(loop_);
}

void PulseClient::setSinkVolumeAsync(const std::string& sink, int percent) {
    pa_cvolume v;
    pa_cvolume_set(&v, 2, static_cast<pa_volume_t>(PA_VOLUME_NORM * percent / 100));
    pa_threaded_mainloop_lock(loop_);
    ++pending_;
    pa_operation* op = pa_context_set_sink_volume_by_name(
        ctx_, sink.c_str(), &v,
        [](pa_context*, int, void* self) {
            auto* c = static_cast<PulseClient*>(self);
            --c->pending_;
            pa_threaded_mainloop_signal(c->loop_, 0);
        },
        this);
    if (op) pa_operation_unref(op);
    pa_threaded_mainloop_unlock(loop_);
    if (!op) throw std::runtime_error("set-sink-volume could not be sent");
}

void PulseClient::waitIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    pa_threaded_mainloop_lock(loop_);
    while (pending_ > 0 && std::chrono::steady_clock::now() < deadline) {
        // Woken by each answer; the state callback also wakes it should the server go away.
        pa_threaded_mainloop_wait(loop_);
    }
    const int left = pending_;
    pa_threaded_mainloop_unlock(loop_);
    if (left > 0) throw std::runtime_error("the sound server did not answer the second client");
}

}  // namespace testsupport
