#include "platform/win32/audio/core_audio_calls.h"

// The property keys are defined here, once.
#include <initguid.h>

#include <endpointvolume.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

namespace platform::win32::coreaudio {

namespace {

template <typename T>
struct Releaser {
    void operator()(T* p) const { p->Release(); }
};
template <typename T>
using ComRef = std::unique_ptr<T, Releaser<T>>;

class SystemVolume final : public Volume {
public:
    explicit SystemVolume(IAudioEndpointVolume* p) : p_(p) {}
    HRESULT getMasterVolumeLevelScalar(float* level) override {
        return p_->GetMasterVolumeLevelScalar(level);
    }
    HRESULT setMasterVolumeLevelScalar(float level) override {
        return p_->SetMasterVolumeLevelScalar(level, nullptr);
    }
    HRESULT getMute(BOOL* muted) override { return p_->GetMute(muted); }
    HRESULT setMute(BOOL muted) override { return p_->SetMute(muted, nullptr); }

private:
    ComRef<IAudioEndpointVolume> p_;
};

class SystemPropertyStore final : public PropertyStore {
public:
    explicit SystemPropertyStore(IPropertyStore* p) : p_(p) {}
    HRESULT getFormFactor(PROPVARIANT* value) override {
        return p_->GetValue(PKEY_AudioEndpoint_FormFactor, value);
    }

private:
    ComRef<IPropertyStore> p_;
};

class SystemDevice final : public Device {
public:
    explicit SystemDevice(IMMDevice* p) : p_(p) {}
    HRESULT openPropertyStore(std::unique_ptr<PropertyStore>& store) override {
        IPropertyStore* s = nullptr;
        const HRESULT hr = p_->OpenPropertyStore(STGM_READ, &s);
        if (s) store = std::make_unique<SystemPropertyStore>(s);
        return hr;
    }
    HRESULT activateEndpointVolume(std::unique_ptr<Volume>& volume) override {
        void* v = nullptr;
        const HRESULT hr =
            p_->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr, &v);
        if (v) volume = std::make_unique<SystemVolume>(static_cast<IAudioEndpointVolume*>(v));
        return hr;
    }

private:
    ComRef<IMMDevice> p_;
};

class SystemCollection final : public Collection {
public:
    explicit SystemCollection(IMMDeviceCollection* p) : p_(p) {}
    HRESULT getCount(UINT* count) override { return p_->GetCount(count); }
    HRESULT item(UINT index, std::unique_ptr<Device>& device) override {
        IMMDevice* d = nullptr;
        const HRESULT hr = p_->Item(index, &d);
        if (d) device = std::make_unique<SystemDevice>(d);
        return hr;
    }

private:
    ComRef<IMMDeviceCollection> p_;
};

class SystemEnumerator final : public Enumerator {
public:
    explicit SystemEnumerator(IMMDeviceEnumerator* p) : p_(p) {}
    HRESULT defaultRenderEndpoint(std::unique_ptr<Device>& device) override {
        IMMDevice* d = nullptr;
        const HRESULT hr = p_->GetDefaultAudioEndpoint(eRender, eConsole, &d);
        if (d) device = std::make_unique<SystemDevice>(d);
        return hr;
    }
    HRESULT activeEndpoints(std::unique_ptr<Collection>& collection) override {
        IMMDeviceCollection* c = nullptr;
        const HRESULT hr = p_->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, &c);
        if (c) collection = std::make_unique<SystemCollection>(c);
        return hr;
    }

private:
    ComRef<IMMDeviceEnumerator> p_;
};

class SystemCalls final : public Calls {
public:
    HRESULT initialize() override { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void uninitialize() override { CoUninitialize(); }
    HRESULT createEnumerator(std::unique_ptr<Enumerator>& enumerator) override {
        void* e = nullptr;
        const HRESULT hr =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                             __uuidof(IMMDeviceEnumerator), &e);
        if (e)
            enumerator = std::make_unique<SystemEnumerator>(static_cast<IMMDeviceEnumerator*>(e));
        return hr;
    }
};

}  // namespace

std::shared_ptr<Calls> systemCalls() {
    return std::make_shared<SystemCalls>();
}

}  // namespace platform::win32::coreaudio
