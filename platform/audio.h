// Audio output, endpoint style: a device enumerator opened for one operation, endpoints with a
// form factor, and an endpoint's master volume (0.0..1.0) and mute. Every call may fail.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// Form factors, numbered as endpoint form factors have always been.
enum FormFactor : uint32_t {
    RemoteNetworkDevice = 0,
    Speakers = 1,
    LineLevel = 2,
    Headphones = 3,
    Microphone = 4,
    Headset = 5,
    Handset = 6,
    UnknownDigitalPassthrough = 7,
    SPDIF = 8,
    DigitalAudioDisplayDevice = 9,
    UnknownFormFactor = 10,
};

class EndpointVolume {
public:
    virtual ~EndpointVolume() = default;
    virtual bool getMasterVolumeLevelScalar(float& level) = 0;
    virtual bool setMasterVolumeLevelScalar(float level) = 0;
    virtual bool getMute(bool& muted) = 0;
    virtual bool setMute(bool muted) = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // nullopt when the device's properties or its form factor cannot be read.
    virtual std::optional<uint32_t> formFactor() = 0;
    // The volume controls; null on failure.
    virtual std::unique_ptr<EndpointVolume> activate() = 0;
};

class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;
    // The default console output; null on failure.
    virtual std::unique_ptr<AudioDevice> defaultRenderEndpoint() = 0;
    // Active outputs and inputs in the back end's order; nullopt when enumeration fails. An
    // entry may be null where that item could not be had.
    virtual std::optional<std::vector<std::unique_ptr<AudioDevice>>> activeEndpoints() = 0;
};

class AudioEndpoints {
public:
    virtual ~AudioEndpoints() = default;
    // Opened anew for every operation so the default device is the one at that moment; null
    // when the back end does not answer.
    virtual std::unique_ptr<DeviceEnumerator> open() = 0;
};

}  // namespace platform
