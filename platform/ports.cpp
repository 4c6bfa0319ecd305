#include "platform/ports.h"

#include <atomic>
#include <vector>

#include "platform/headless_osd.h"

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

// Without a graphics back end nothing decodes and nothing is drawn.
class NoCanvas final : public Canvas {
public:
    NoCanvas(int w, int h) : w_(w), h_(h) {}
    void fill(uint32_t) override {}
    int drawText(int, int, std::string_view, const FontSpec&, uint32_t, uint32_t) override {
        return 0;
    }
    bool drawImageRect(const Image* image, float, float, float, float) override {
        return image != nullptr;
    }
    Pixels pixels() const override {
        return {w_, h_, std::vector<uint32_t>(static_cast<std::size_t>(w_ * h_), 0xFF000000)};
    }

private:
    int w_, h_;
};

class NoGraphics final : public Graphics {
public:
    std::unique_ptr<Image> decodePng(std::span<const uint8_t>) override { return nullptr; }
    std::unique_ptr<Canvas> createCanvas(int w, int h) override { return makeBlankCanvas(w, h); }
    std::vector<uint8_t> encodePng(const Pixels&) override { return {}; }
};

class NoSerialPorts final : public SerialPorts {
public:
    std::shared_ptr<SerialPort> open() override { return nullptr; }
};

class NoDeviceNotices final : public DeviceNotices {
public:
    void start(std::function<void(const DeviceNotice&)>) override {}
    bool registerHandle(intptr_t) override { return false; }
};

class NoInputDevices final : public InputDevices {
public:
    void start(std::function<void(std::function<void()>)>,
               std::function<void(uint32_t, uint32_t, uint32_t)>) override {}
    bool registerHotKey(uint32_t, uint32_t, uint32_t) override { return false; }
    void installHooks(KeyboardHook, MouseHook) override {}
    void setBlocking(bool) override {}
    bool keyDown(uint32_t) override { return false; }
    void injectKey(uint32_t, bool) override {}
};

class NoXmlReaders final : public XmlReaders {
public:
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t>) override { return nullptr; }
};

class NoEventLog final : public EventLog {
public:
    bool registerSource(const std::string&) override { return false; }
    void reportError(uint32_t, const std::string&, uint32_t) override {}
    void deregisterSource() override {}
};

class NoAcpiDrivers final : public AcpiDrivers {
public:
    std::shared_ptr<AcpiDevice> open(const std::string&) override { return nullptr; }
};

class NoLauncher final : public Launcher {
public:
    bool launch(const std::string&, const std::string&) override { return false; }
};

class NoMonitorBrightness final : public MonitorBrightness {
public:
    bool setLevel(uint8_t) override { return false; }
    std::unique_ptr<BrightnessNotices> watch() override { return nullptr; }
};

class NoRawInput final : public RawInput {
public:
    bool registerDevice(uint16_t, uint16_t, uint32_t, base::Window*) override { return false; }
    std::optional<RawInputRecord> getRawInputData(base::LPARAM) override { return std::nullopt; }
};

// No power management at all: nothing is notified, read or done.
class NoPower final : public Power {
public:
    void start(std::function<void(PowerNotice)>) override {}
    uintptr_t registerPowerSetting(PowerSetting) override { return 0; }
    std::optional<std::string> activeScheme() override { return std::nullopt; }
    bool schemeFunctionsAvailable() override { return false; }
    std::optional<int32_t> readButtonAction(const std::string&, PowerButton) override {
        return std::nullopt;
    }
    bool writeButtonAction(const std::string&, PowerButton, int32_t) override { return false; }
    bool activateScheme(const std::string&) override { return false; }
    void setExecutionState(uint32_t) override {}
    bool suspend(bool) override { return false; }
    bool enableShutdownPrivilege() override { return false; }
    void disableShutdownPrivilege() override {}
    bool powerOff() override { return false; }
    bool shutdown() override { return false; }
    bool cancelShutdown() override { return false; }
};

// Port sets are never destroyed: worker threads that never end may hold on to an adapter, so
// a replaced set is retired, not freed.
std::atomic<Ports*>& current() {
    static std::atomic<Ports*> p{nullptr};
    return p;
}

}  // namespace

std::unique_ptr<Canvas> makeBlankCanvas(int width, int height) {
    return std::make_unique<NoCanvas>(width, height);
}

Ports& ports() {
    Ports* p = current().load();
    if (!p) {
        installPorts({});
        p = current().load();
    }
    return *p;
}

void installPorts(Ports p) {
    if (!p.info) p.info = std::make_unique<DefaultInfo>();
    if (!p.messageBox) p.messageBox = std::make_unique<SilentMessageBox>();
    if (!p.instanceLock) p.instanceLock = std::make_unique<NoInstanceLock>();
    if (!p.windowDirectory) p.windowDirectory = std::make_unique<NoWindowDirectory>();
    if (!p.audioEndpoints) p.audioEndpoints = std::make_unique<NoAudioEndpoints>();
    if (!p.mixer) p.mixer = std::make_unique<NoMixer>();
    if (!p.graphics) p.graphics = std::make_unique<NoGraphics>();
    if (!p.osdSurface) p.osdSurface = std::make_unique<HeadlessOsd>();
    if (!p.serialPorts) p.serialPorts = std::make_unique<NoSerialPorts>();
    if (!p.deviceNotices) p.deviceNotices = std::make_unique<NoDeviceNotices>();
    if (!p.input) p.input = std::make_unique<NoInputDevices>();
    if (!p.xmlReaders) p.xmlReaders = std::make_unique<NoXmlReaders>();
    if (!p.eventLog) p.eventLog = std::make_unique<NoEventLog>();
    if (!p.acpiDrivers) p.acpiDrivers = std::make_unique<NoAcpiDrivers>();
    if (!p.launcher) p.launcher = std::make_unique<NoLauncher>();
    if (!p.monitorBrightness) p.monitorBrightness = std::make_unique<NoMonitorBrightness>();
    if (!p.power) p.power = std::make_unique<NoPower>();
    if (!p.rawInput) p.rawInput = std::make_unique<NoRawInput>();

    // Retired sets stay reachable: kept on purpose, not lost.
    static auto* retired = new std::vector<Ports*>;
    if (Ports* old = current().load()) retired->push_back(old);
    current().store(new Ports(std::move(p)));
}

}  // namespace platform
