#include "audio/com_init.h"

#include "app/globals.h"
#include "platform/ports.h"

std::unique_ptr<platform::EndpointVolume> EndpointVolume;
std::unique_ptr<platform::SpeakerLine> m_hMixer;

namespace {

std::unique_ptr<platform::AudioDevice> firstActiveOfFormFactor(platform::DeviceEnumerator& e,
                                                               uint32_t wanted) {
    auto endpoints = e.activeEndpoints();
    if (!endpoints || endpoints->empty()) return nullptr;
    for (auto& device : *endpoints) {
        if (!device) continue;
        // An endpoint whose form factor cannot be read is skipped, not fatal.
        const auto formFactor = device->formFactor();
        if (formFactor && *formFactor == wanted) return std::move(device);
    }
    return nullptr;
}

int32_t openEndpoint(int32_t bSPDIFEndpoint) {
    auto enumerator = platform::ports().audioEndpoints->open();
    if (!enumerator) return 0;
    std::unique_ptr<platform::AudioDevice> device;
    if (bHIDEnabled && bSPDIFEndpoint == 0) {
        device = enumerator->defaultRenderEndpoint();
    } else {
        device = firstActiveOfFormFactor(
            *enumerator, bSPDIFEndpoint == 1 ? platform::SPDIF : platform::Speakers);
    }
    if (!device) return 0;
    EndpointVolume = device->activate();
    return EndpointVolume ? 1 : 0;
}

int32_t openMixer() {
    platform::Mixer& mixer = *platform::ports().mixer;
    if (mixer.deviceCount() == 0) return 0;
    m_hMixer = mixer.openSpeakerLine();
    return m_hMixer ? 1 : 0;
}

}  // namespace

int32_t COMInit(int32_t bSPDIFEndpoint) {
    return MajorVersion >= 6 ? openEndpoint(bSPDIFEndpoint) : openMixer();
}

int32_t COMUninit() {
    if (MajorVersion >= 6) {
        EndpointVolume.reset();
    } else {
        m_hMixer.reset();
    }
    return 1;
}
