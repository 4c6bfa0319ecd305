#include "platform/linux/pulse/pulse_audio.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace platform::linux_adapter {

namespace {

constexpr int kTimeoutMs = 2000;

// Form factor from what the server knows: the active port's type first, then the device's
// properties. Unknown stays unknown (unreadable), so it never matches a wanted form factor.
template <typename Info>
std::optional<uint32_t> formFactorOf(const Info& info) {
    if (info.active_port) {
        switch (info.active_port->type) {
            case PA_DEVICE_PORT_TYPE_SPEAKER:
                return Speakers;
            case PA_DEVICE_PORT_TYPE_HEADPHONES:
            case PA_DEVICE_PORT_TYPE_EARPIECE:
                return Headphones;
            case PA_DEVICE_PORT_TYPE_SPDIF:
                return SPDIF;
            case PA_DEVICE_PORT_TYPE_HDMI:
            case PA_DEVICE_PORT_TYPE_TV:
                return DigitalAudioDisplayDevice;
            case PA_DEVICE_PORT_TYPE_LINE:
                return LineLevel;
            case PA_DEVICE_PORT_TYPE_MIC:
                return Microphone;
            case PA_DEVICE_PORT_TYPE_HEADSET:
            case PA_DEVICE_PORT_TYPE_HANDSFREE:
                return Headset;
            case PA_DEVICE_PORT_TYPE_HANDSET:
                return Handset;
            default:
                break;
        }
    }
    if (const char* ff = pa_proplist_gets(info.proplist, PA_PROP_DEVICE_FORM_FACTOR)) {
        const std::string f = ff;
        if (f == "speaker") return Speakers;
        if (f == "headphone") return Headphones;
        if (f == "headset" || f == "hands-free") return Headset;
        if (f == "handset") return Handset;
        if (f == "microphone" || f == "webcam") return Microphone;
        if (f == "tv") return DigitalAudioDisplayDevice;
    }
    if (const char* profile = pa_proplist_gets(info.proplist, PA_PROP_DEVICE_PROFILE_NAME)) {
        if (std::strstr(profile, "iec958")) return SPDIF;
        if (std::strstr(profile, "hdmi")) return DigitalAudioDisplayDevice;
    }
    return std::nullopt;
}

template <typename Info>
bool isActive(const Info& info) {
    return !info.active_port || info.active_port->available != PA_PORT_AVAILABLE_NO;
}

struct DeviceInfo {
    bool sink = true;
    uint32_t index = PA_INVALID_INDEX;
    std::optional<uint32_t> formFactor;
    pa_cvolume volume{};
    bool muted = false;
};

template <typename Info>
DeviceInfo toDeviceInfo(const Info& info, bool sink) {
    return {sink, info.index, formFactorOf(info), info.volume, info.mute != 0};
}

}  // namespace

// One blocking connection: a private main loop iterated by the calling thread until the
// operation at hand is done. Used by one thread at a time (the GUI thread).
class PulseConnection {
public:
    static std::shared_ptr<PulseConnection> connect() {
        auto c = std::shared_ptr<PulseConnection>(new PulseConnection());
        if (!c->loop_ || !c->ctx_) return nullptr;
        if (pa_context_connect(c->ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return nullptr;
        }
        const bool ready = c->iterateUntil([&] {
            const auto s = pa_context_get_state(c->ctx_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        if (!ready || pa_context_get_state(c->ctx_) != PA_CONTEXT_READY) return nullptr;
        return c;
    }

    ~PulseConnection() {
        if (ctx_) {
            pa_context_disconnect(ctx_);
            pa_context_unref(ctx_);
        }
        if (loop_) pa_mainloop_free(loop_);
    }

    bool alive() const { return ctx_ && pa_context_get_state(ctx_) == PA_CONTEXT_READY; }

    // Takes in what the server sent meanwhile without waiting, so that a connection the server
    // closed (a restart, say) is seen as gone before it is used.
    void catchUp() {
        while (pa_mainloop_iterate(loop_, 0, nullptr) > 0) {
        }
    }
    pa_context* ctx() { return ctx_; }

    // Runs the operation to its end; false when it could not start, the connection broke, or
    // the server took too long.
    bool finish(pa_operation* op) {
        if (!op) return false;
        const bool done = iterateUntil(
            [&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING || !alive(); });
        const bool ok = done && pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!ok) pa_operation_cancel(op);
        pa_operation_unref(op);
        return ok;
    }

    std::optional<DeviceInfo> sinkByName(const std::string& name) {
        struct Result {
            std::optional<DeviceInfo> info;
        } r;
        if (!finish(pa_context_get_sink_info_by_name(ctx_, name.c_str(),
                                                     &onInfo<pa_sink_info, true>, &r))) {
            return std::nullopt;
        }
        return r.info;
    }

    // Sinks, then sources other than monitors, each in the server's order.
    std::optional<std::vector<DeviceInfo>> activeDevices() {
        std::vector<DeviceInfo> list;
        auto onSink = [](pa_context*, const pa_sink_info* i, int eol, void* ud) {
            if (eol || !i || !isActive(*i)) return;
            static_cast<std::vector<DeviceInfo>*>(ud)->push_back(toDeviceInfo(*i, true));
        };
        auto onSource = [](pa_context*, const pa_source_info* i, int eol, void* ud) {
            if (eol || !i || i->monitor_of_sink != PA_INVALID_INDEX || !isActive(*i)) return;
            static_cast<std::vector<DeviceInfo>*>(ud)->push_back(toDeviceInfo(*i, false));
        };
        if (!finish(pa_context_get_sink_info_list(ctx_, onSink, &list))) return std::nullopt;
        if (!finish(pa_context_get_source_info_list(ctx_, onSource, &list))) return std::nullopt;
        return list;
    }

    bool setVolume(bool sink, uint32_t index, const pa_cvolume& v) {
        ok_ = false;
        return finish(sink ? pa_context_set_sink_volume_by_index(ctx_, index, &v, onSuccess, &ok_)
                           : pa_context_set_source_volume_by_index(ctx_, index, &v, onSuccess,
                                                                   &ok_)) &&
               ok_;
    }

    bool setMute(bool sink, uint32_t index, bool mute) {
        ok_ = false;
        return finish(sink ? pa_context_set_sink_mute_by_index(ctx_, index, mute, onSuccess, &ok_)
                           : pa_context_set_source_mute_by_index(ctx_, index, mute, onSuccess,
                                                                 &ok_)) &&
               ok_;
    }

private:
    PulseConnection() {
        loop_ = pa_mainloop_new();
        if (!loop_) return;
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "veskosd");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "veskosd");
        ctx_ = pa_context_new_with_proplist(pa_mainloop_get_api(loop_), "veskosd", props);
        pa_proplist_free(props);
    }

    template <typename Info, bool Sink>
    static void onInfo(pa_context*, const Info* i, int eol, void* ud) {
        if (eol || !i) return;
        static_cast<std::optional<DeviceInfo>*>(ud)->emplace(toDeviceInfo(*i, Sink));
    }

    static void onSuccess(pa_context*, int success, void* ud) { *static_cast<bool*>(ud) = success; }

    bool iterateUntil(const std::function<bool()>& done) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0) {
                return false;
            }
        }
        return true;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
    bool ok_ = false;
};

namespace {

// The device as this operation found it: reads need no further request, and a set is one.
// Every operation opens its endpoint anew, so nothing here outlives the moment it was read.
class PulseVolume final : public EndpointVolume {
public:
    PulseVolume(std::shared_ptr<PulseConnection> c, DeviceInfo d) : c_(std::move(c)), d_(d) {}

    bool getMasterVolumeLevelScalar(float& level) override {
        if (!pa_cvolume_valid(&d_.volume)) return false;
        // Above 100 % the server allows more; the user's scale ends at 1.0.
        const double v = static_cast<double>(pa_cvolume_max(&d_.volume)) / PA_VOLUME_NORM;
        level = static_cast<float>(std::clamp(v, 0.0, 1.0));
        return true;
    }

    bool setMasterVolumeLevelScalar(float level) override {
        if (!pa_cvolume_valid(&d_.volume)) return false;
        const auto target = static_cast<pa_volume_t>(
            std::lround(std::clamp(static_cast<double>(level), 0.0, 1.0) * PA_VOLUME_NORM));
        pa_cvolume v = d_.volume;
        // Scaling keeps the balance between channels; from silence there is none to keep.
        if (pa_cvolume_max(&v) == PA_VOLUME_MUTED) {
            pa_cvolume_set(&v, v.channels, target);
        } else {
            pa_cvolume_scale(&v, target);
        }
        if (!c_->setVolume(d_.sink, d_.index, v)) return false;
        d_.volume = v;
        return true;
    }

    bool getMute(bool& muted) override {
        muted = d_.muted;
        return true;
    }

    bool setMute(bool muted) override {
        if (!c_->setMute(d_.sink, d_.index, muted)) return false;
        d_.muted = muted;
        return true;
    }

private:
    std::shared_ptr<PulseConnection> c_;
    DeviceInfo d_;
};

class PulseDevice final : public AudioDevice {
public:
    PulseDevice(std::shared_ptr<PulseConnection> c, DeviceInfo d) : c_(std::move(c)), d_(d) {}
    std::optional<uint32_t> formFactor() override { return d_.formFactor; }
    std::unique_ptr<EndpointVolume> activate() override {
        if (!c_->alive()) return nullptr;
        return std::make_unique<PulseVolume>(c_, d_);
    }

private:
    std::shared_ptr<PulseConnection> c_;
    DeviceInfo d_;
};

class PulseEnumerator final : public DeviceEnumerator {
public:
    explicit PulseEnumerator(std::shared_ptr<PulseConnection> c) : c_(std::move(c)) {}

    // The server resolves the default sink itself: one request, and the sink that is the
    // default at that moment.
    std::unique_ptr<AudioDevice> defaultRenderEndpoint() override {
        auto info = c_->sinkByName("@DEFAULT_SINK@");
        if (!info) return nullptr;
        return std::make_unique<PulseDevice>(c_, *info);
    }

    std::optional<std::vector<std::unique_ptr<AudioDevice>>> activeEndpoints() override {
        auto devices = c_->activeDevices();
        if (!devices) return std::nullopt;
        std::vector<std::unique_ptr<AudioDevice>> list;
        for (const auto& d : *devices) list.push_back(std::make_unique<PulseDevice>(c_, d));
        return list;
    }

private:
    std::shared_ptr<PulseConnection> c_;
};

}  // namespace

std::unique_ptr<DeviceEnumerator> PulseAudioEndpoints::open() {
    if (kept_) kept_->catchUp();
    std::shared_ptr<PulseConnection> c = keep_ && kept_ && kept_->alive() ? kept_ : nullptr;
    if (!c) c = PulseConnection::connect();
    if (!c) {
        kept_.reset();
        return nullptr;
    }
    if (keep_) kept_ = c;
    return std::make_unique<PulseEnumerator>(std::move(c));
}

}  // namespace platform::linux_adapter
