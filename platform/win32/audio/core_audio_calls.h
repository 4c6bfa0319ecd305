// The Core Audio calls the endpoint adapter makes, one method for each COM call, so that tests
// can stand in for the system where Wine only pretends (the master level). Every method returns
// the call's own HRESULT; every object releases its interface when it goes.
#pragma once

#include <windows.h>

#include <propidl.h>

#include <memory>

namespace platform::win32::coreaudio {

class Volume {
public:
    virtual ~Volume() = default;
    virtual HRESULT getMasterVolumeLevelScalar(float* level) = 0;
    // No event context: the change is nobody's in particular.
    virtual HRESULT setMasterVolumeLevelScalar(float level) = 0;
    virtual HRESULT getMute(BOOL* muted) = 0;
    virtual HRESULT setMute(BOOL muted) = 0;
};

class PropertyStore {
public:
    virtual ~PropertyStore() = default;
    // PKEY_AudioEndpoint_FormFactor into a cleared value.
    virtual HRESULT getFormFactor(PROPVARIANT* value) = 0;
};

class Device {
public:
    virtual ~Device() = default;
    // For reading only.
    virtual HRESULT openPropertyStore(std::unique_ptr<PropertyStore>& store) = 0;
    // IAudioEndpointVolume, in process, without activation parameters.
    virtual HRESULT activateEndpointVolume(std::unique_ptr<Volume>& volume) = 0;
};

class Collection {
public:
    virtual ~Collection() = default;
    virtual HRESULT getCount(UINT* count) = 0;
    virtual HRESULT item(UINT index, std::unique_ptr<Device>& device) = 0;
};

class Enumerator {
public:
    virtual ~Enumerator() = default;
    // The default render endpoint for the console role.
    virtual HRESULT defaultRenderEndpoint(std::unique_ptr<Device>& device) = 0;
    // Active endpoints of both data flows.
    virtual HRESULT activeEndpoints(std::unique_ptr<Collection>& collection) = 0;
};

class Calls {
public:
    virtual ~Calls() = default;
    // CoInitializeEx on the calling thread, multithreaded.
    virtual HRESULT initialize() = 0;
    virtual void uninitialize() = 0;
    // The MMDeviceEnumerator, in process.
    virtual HRESULT createEnumerator(std::unique_ptr<Enumerator>& enumerator) = 0;
};

// The system's own calls.
std::shared_ptr<Calls> systemCalls();

}  // namespace platform::win32::coreaudio
