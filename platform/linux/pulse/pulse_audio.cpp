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
    bool cached = false;  // taken from what the events kept, not asked for
};

template <typename Info>
DeviceInfo toDeviceInfo(const Info& info, bool sink) {
    return {sink, info.index, formFactorOf(info), info.volume, info.mute != 0, false};
}

}  // namespace

// One blocking connection: a private main loop iterated by the calling thread until the
// operation at hand is done. Used by one thread at a time (the GUI thread).
class PulseConnection {
public:
    // follow: subscribe to sink and server events, so that the default sink can be kept.
    static std::shared_ptr<PulseConnection> connect(bool follow) {
        auto c = std::shared_ptr<PulseConnection>(new PulseConnection());
        if (!c->loop_ || !c->ctx_) return nullptr;
        c->follow_ = follow;
        if (pa_context_connect(c->ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return nullptr;
        }
        const bool ready = c->iterateUntil([&] {
            const auto s = pa_context_get_state(c->ctx_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        if (!ready || pa_context_get_state(c->ctx_) != PA_CONTEXT_READY) return nullptr;
        if (follow) {
            // Not waited for: the server answers in order, so every later read is covered.
            pa_context_set_subscribe_callback(c->ctx_, &PulseConnection::onEvent, c.get());
            pa_operation* op =
                pa_context_subscribe(c->ctx_,
                                     static_cast<pa_subscription_mask_t>(
                                         PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
                                     nullptr, nullptr);
            if (!op) return nullptr;
            pa_operation_unref(op);
        }
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

    uint64_t events() const { return events_; }
    uint64_t retaken() const { return retaken_; }
    void countRetake() { ++retaken_; }
    bool trusted() const { return follow_ && valid_; }
    const DeviceInfo& cachedSink() const { return sink_; }
    void forget() { valid_ = false; }

    // Keeps what was just read of the default sink; events from here on keep it.
    void remember(const DeviceInfo& d) {
        if (!follow_) return;
        sink_ = d;
        sink_.cached = false;
        valid_ = true;
        echoes_ = 0;
    }

    // Waits until more than `n` events were taken in; false on the time-out.
    bool waitForEvents(uint64_t n, int ms) {
        return iterateUntil([&] { return events_ > n || !alive(); }, ms) && events_ > n;
    }

    // Before our own change of the kept sink goes out: its event may come with the answer.
    void expectOwnChange(uint32_t index, bool changed) {
        if (trusted() && sink_.index == index && changed) ++echoes_;
    }

    // Our own change was answered: keep the new state. Its event is taken in when it comes, not
    // waited for here, so that the OSD does not wait on the server's next turn; a change from
    // elsewhere mistaken for it meanwhile is still found by the next step's read.
    void ownChangeDone(uint32_t index, const pa_cvolume& v, bool muted) {
        if (!trusted() || sink_.index != index) return;
        sink_.volume = v;
        sink_.muted = muted;
    }

    // Takes in what the server sends until the events of our own changes are in; whether the
    // cache is still trusted then.
    bool settle(int ms) {
        iterateUntil([&] { return echoes_ == 0 || !valid_ || !alive(); }, ms);
        return trusted();
    }

    // Reads the sink and sets its volume in one round trip: the read reaches the server first,
    // so `before` is the level the set replaced.
    bool readThenSetVolume(uint32_t index, const pa_cvolume& v, std::optional<DeviceInfo>& before) {
        pa_operation* read =
            pa_context_get_sink_info_by_index(ctx_, index, &onInfo<pa_sink_info, true>, &before);
        const bool set = setVolume(true, index, v);
        const bool ok = finish(read);
        return set && ok && before.has_value();
    }

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

    // A change of the kept sink from elsewhere, or of the server's defaults (the default sink
    // may be another now), makes the next operation ask again.
    static void onEvent(pa_context*, pa_subscription_event_type_t t, uint32_t index, void* ud) {
        auto* self = static_cast<PulseConnection*>(ud);
        ++self->events_;
        if (!self->valid_) return;
        const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto type = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            self->valid_ = false;
        } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && index == self->sink_.index) {
            if (type == PA_SUBSCRIPTION_EVENT_CHANGE && self->echoes_ > 0) {
                --self->echoes_;
            } else {
                self->valid_ = false;
            }
        }
    }

    bool iterateUntil(const std::function<bool()>& done, int ms = kTimeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
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
    bool follow_ = false;
    // The default sink as the last read and the events since then have it.
    bool valid_ = false;
    DeviceInfo sink_;
    int echoes_ = 0;  // events of our own changes still to come
    uint64_t events_ = 0;
    uint64_t retaken_ = 0;
};

namespace {

double levelOf(const pa_cvolume& v) {
    return static_cast<double>(pa_cvolume_max(&v)) / PA_VOLUME_NORM;
}

// The sink's volume with its loudest channel at `level`.
pa_cvolume scaledTo(pa_cvolume v, double level) {
    const auto target =
        static_cast<pa_volume_t>(std::lround(std::clamp(level, 0.0, 1.0) * PA_VOLUME_NORM));
    // Scaling keeps the balance between channels; from silence there is none to keep.
    if (pa_cvolume_max(&v) == PA_VOLUME_MUTED) {
        pa_cvolume_set(&v, v.channels, target);
    } else {
        pa_cvolume_scale(&v, target);
    }
    return v;
}

// The device as this operation found it: reads need no further request, and a set is one.
// Every operation opens its endpoint anew, so nothing here outlives the moment it was read.
class PulseVolume final : public EndpointVolume {
public:
    PulseVolume(std::shared_ptr<PulseConnection> c, DeviceInfo d) : c_(std::move(c)), d_(d) {}

    bool getMasterVolumeLevelScalar(float& level) override {
        if (!pa_cvolume_valid(&d_.volume)) return false;
        // Above 100 % the server allows more; the user's scale ends at 1.0.
        level = static_cast<float>(std::clamp(levelOf(d_.volume), 0.0, 1.0));
        return true;
    }

    bool setMasterVolumeLevelScalar(float level) override {
        if (!pa_cvolume_valid(&d_.volume)) return false;
        pa_cvolume v = scaledTo(d_.volume, level);
        if (d_.sink) c_->expectOwnChange(d_.index, !pa_cvolume_equal(&v, &d_.volume));
        if (d_.cached) {
            std::optional<DeviceInfo> before;
            if (!c_->readThenSetVolume(d_.index, v, before)) {
                c_->forget();
                return false;
            }
            if (!pa_cvolume_equal(&before->volume, &d_.volume)) {
                // Another client set the level just before, and its event had not come yet:
                // the step is taken again from that level, rounded to the user's hundredths.
                c_->forget();
                c_->countRetake();
                const double step =
                    std::round((static_cast<double>(level) - levelOf(d_.volume)) * 100) / 100;
                v = scaledTo(before->volume,
                             std::round(levelOf(before->volume) * 100) / 100 + step);
                if (!c_->setVolume(d_.sink, d_.index, v)) return false;
                d_.volume = v;
                return true;
            }
            if (before->muted != d_.muted) c_->forget();
        } else if (!c_->setVolume(d_.sink, d_.index, v)) {
            c_->forget();
            return false;
        }
        d_.volume = v;
        if (d_.sink) c_->ownChangeDone(d_.index, v, d_.muted);
        return true;
    }

    bool getMute(bool& muted) override {
        muted = d_.muted;
        return true;
    }

    bool setMute(bool muted) override {
        if (d_.sink) c_->expectOwnChange(d_.index, muted != d_.muted);
        if (!c_->setMute(d_.sink, d_.index, muted)) {
            c_->forget();
            return false;
        }
        d_.muted = muted;
        if (d_.sink) c_->ownChangeDone(d_.index, d_.volume, muted);
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
    // Kept from the events when they can be trusted; otherwise read, and kept from then on.
    std::unique_ptr<AudioDevice> defaultRenderEndpoint() override {
        if (c_->trusted()) {
            DeviceInfo d = c_->cachedSink();
            d.cached = true;
            return std::make_unique<PulseDevice>(c_, d);
        }
        auto info = c_->sinkByName("@DEFAULT_SINK@");
        if (!info) return nullptr;
        c_->remember(*info);
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
    if (kept_ && !hold_) kept_->catchUp();
    hold_ = false;
    std::shared_ptr<PulseConnection> c = keep_ && kept_ && kept_->alive() ? kept_ : nullptr;
    if (!c) {
        if (kept_) {
            eventsBefore_ += kept_->events();
            retakenBefore_ += kept_->retaken();
        }
        c = PulseConnection::connect(follow_);
    }
    if (!c) {
        kept_.reset();
        return nullptr;
    }
    if (keep_) kept_ = c;
    return std::make_unique<PulseEnumerator>(std::move(c));
}

}  // namespace platform::linux_adapter

namespace platform::linux_adapter {

SinkCacheState PulseAudioEndpoints::cacheState() {
    if (!kept_) return {eventsBefore_, false, retakenBefore_};
    if (!hold_) kept_->catchUp();
    return {eventsBefore_ + kept_->events(), kept_->alive() && kept_->trusted(),
            retakenBefore_ + kept_->retaken()};
}

bool PulseAudioEndpoints::settle(int ms) {
    return kept_ && kept_->alive() && kept_->settle(ms);
}

bool PulseAudioEndpoints::waitForEvents(uint64_t events, int ms) {
    if (!kept_ || events < eventsBefore_) return kept_ != nullptr;
    return kept_->waitForEvents(events - eventsBefore_, ms);
}

}  // namespace platform::linux_adapter
