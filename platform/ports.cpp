#include "platform/ports.h"

namespace platform {

namespace {

class DefaultInfo final : public PlatformInfo {
public:
    uint32_t majorVersion() override { return 6; }
};

class SilentMessageBox final : public MessageBoxSink {
public:
    void show(const std::string&, const std::string&, uint32_t) override {}
};

class NoInstanceLock final : public InstanceLock {
public:
    bool acquire(const std::string&) override { return true; }
};

class NoWindowDirectory final : public WindowDirectory {
public:
    bool publish(const std::string&, base::Window*) override { return false; }
};

class NoAudioEndpoints final : public AudioEndpoints {
public:
    std::unique_ptr<DeviceEnumerator> open() override { return nullptr; }
};

class NoMixer final : public Mixer {
public:
    uint32_t deviceCount() override { return 0; }
    std::unique_ptr<SpeakerLine> openSpeakerLine() override { return nullptr; }
};

Ports& installed() {
    static Ports p;
    return p;
}

}  // namespace

Ports& ports() {
    Ports& p = installed();
    if (!p.info) installPorts({});
    return p;
}

void installPorts(Ports p) {
    if (!p.info) p.info = std::make_unique<DefaultInfo>();
    if (!p.messageBox) p.messageBox = std::make_unique<SilentMessageBox>();
    if (!p.instanceLock) p.instanceLock = std::make_unique<NoInstanceLock>();
    if (!p.windowDirectory) p.windowDirectory = std::make_unique<NoWindowDirectory>();
    if (!p.audioEndpoints) p.audioEndpoints = std::make_unique<NoAudioEndpoints>();
    if (!p.mixer) p.mixer = std::make_unique<NoMixer>();
    installed() = std::move(p);
}

}  // namespace platform
