#include "platform/win32/audio/core_audio_endpoints.h"

#include "platform/win32/audio/core_audio_calls.h"

namespace platform::win32 {

namespace {

// One operation's COM initialisation: whatever it opened holds it, so the last object to go
// uninitialises, after its own interface was released.
class Apartment {
public:
    explicit Apartment(std::shared_ptr<coreaudio::Calls> calls) : calls_(std::move(calls)) {}
    ~Apartment() { calls_->uninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

private:
    std::shared_ptr<coreaudio::Calls> calls_;
};

// Members are declared apartment first, so that the interface is released before it.
class CoreAudioVolume final : public EndpointVolume {
public:
    CoreAudioVolume(std::shared_ptr<Apartment> apartment, std::unique_ptr<coreaudio::Volume> v)
        : apartment_(std::move(apartment)), v_(std::move(v)) {}

    bool getMasterVolumeLevelScalar(float& level) override {
        float l = 0.0f;
        if (FAILED(v_->getMasterVolumeLevelScalar(&l))) return false;
        level = l;
        return true;
    }
    bool setMasterVolumeLevelScalar(float level) override {
        return SUCCEEDED(v_->setMasterVolumeLevelScalar(level));
    }
    bool getMute(bool& muted) override {
        BOOL m = FALSE;
        if (FAILED(v_->getMute(&m))) return false;
        muted = m != FALSE;
        return true;
    }
    bool setMute(bool muted) override { return SUCCEEDED(v_->setMute(muted ? TRUE : FALSE)); }

private:
    std::shared_ptr<Apartment> apartment_;
    std::unique_ptr<coreaudio::Volume> v_;
};

class CoreAudioDevice final : public AudioDevice {
public:
    CoreAudioDevice(std::shared_ptr<Apartment> apartment, std::unique_ptr<coreaudio::Device> d)
        : apartment_(std::move(apartment)), d_(std::move(d)) {}

    std::optional<uint32_t> formFactor() override {
        std::unique_ptr<coreaudio::PropertyStore> store;
        if (FAILED(d_->openPropertyStore(store)) || !store) return std::nullopt;
        PROPVARIANT value;
        PropVariantInit(&value);
        std::optional<uint32_t> result;
        if (SUCCEEDED(store->getFormFactor(&value)) && value.vt == VT_UI4) result = value.ulVal;
        PropVariantClear(&value);
        return result;
    }

    std::unique_ptr<EndpointVolume> activate() override {
        std::unique_ptr<coreaudio::Volume> v;
        if (FAILED(d_->activateEndpointVolume(v)) || !v) return nullptr;
        return std::make_unique<CoreAudioVolume>(apartment_, std::move(v));
    }

private:
    std::shared_ptr<Apartment> apartment_;
    std::unique_ptr<coreaudio::Device> d_;
};

class CoreAudioEnumerator final : public DeviceEnumerator {
public:
    CoreAudioEnumerator(std::shared_ptr<Apartment> apartment,
                        std::unique_ptr<coreaudio::Enumerator> e)
        : apartment_(std::move(apartment)), e_(std::move(e)) {}

    std::unique_ptr<AudioDevice> defaultRenderEndpoint() override {
        std::unique_ptr<coreaudio::Device> d;
        if (FAILED(e_->defaultRenderEndpoint(d)) || !d) return nullptr;
        return std::make_unique<CoreAudioDevice>(apartment_, std::move(d));
    }

    std::optional<std::vector<std::unique_ptr<AudioDevice>>> activeEndpoints() override {
        std::unique_ptr<coreaudio::Collection> c;
        if (FAILED(e_->activeEndpoints(c)) || !c) return std::nullopt;
        UINT count = 0;
        if (FAILED(c->getCount(&count))) return std::nullopt;
        std::vector<std::unique_ptr<AudioDevice>> list;
        for (UINT i = 0; i < count; ++i) {
            std::unique_ptr<coreaudio::Device> d;
            if (FAILED(c->item(i, d)) || !d) {
                list.push_back(nullptr);
            } else {
                list.push_back(std::make_unique<CoreAudioDevice>(apartment_, std::move(d)));
            }
        }
        return list;
    }

private:
    std::shared_ptr<Apartment> apartment_;
    std::unique_ptr<coreaudio::Enumerator> e_;
};

}  // namespace

CoreAudioEndpoints::CoreAudioEndpoints() : calls_(coreaudio::systemCalls()) {}

CoreAudioEndpoints::CoreAudioEndpoints(std::shared_ptr<coreaudio::Calls> calls)
    : calls_(std::move(calls)) {}

std::unique_ptr<DeviceEnumerator> CoreAudioEndpoints::open() {
    // A failed initialisation is not undone: there is nothing to undo.
    if (FAILED(calls_->initialize())) return nullptr;
    auto apartment = std::make_shared<Apartment>(calls_);
    std::unique_ptr<coreaudio::Enumerator> e;
    if (FAILED(calls_->createEnumerator(e)) || !e) return nullptr;
    return std::make_unique<CoreAudioEnumerator>(std::move(apartment), std::move(e));
}

}  // namespace platform::win32
