#include "platform/linux/module/backend_lazy.h"

#include <cstdio>
#include <mutex>

#include "platform/linux/module/backend_loader.h"

namespace platform::linux_adapter {

namespace {

// A port whose adapter is made by its module's table on first use. A missing module is said once
// on stderr, and the port then does what its do-nothing default would: `or_` gives that answer.
template <class Port, class Table, std::unique_ptr<Port> (*Table::*Make)()>
class Lazy : public Port {
protected:
    Lazy(const char* family, const char* port) : family_(family), port_(port) {}

    template <class Call, class Fallback>
    auto or_(Call call, Fallback fallback) {
        std::call_once(once_, [this] {
            std::string why;
            if (const Table* t = loadBackend<Table>(family_, why)) {
                real_ = (t->*Make)();
            } else {
                std::fprintf(stderr, "veskosd: %s: %s; it does nothing\n", port_, why.c_str());
            }
        });
        return real_ ? call(*real_) : fallback();
    }

private:
    const char* family_;
    const char* port_;
    std::once_flag once_;
    std::unique_ptr<Port> real_;
};

class LazyXmlReaders final : public Lazy<XmlReaders, XmlBackend, &XmlBackend::readers> {
public:
    LazyXmlReaders() : Lazy("xml", "xml") {}
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) override {
        return or_([&](XmlReaders& r) { return r.open(document); },
                   [] { return std::unique_ptr<XmlPullReader>(); });
    }
};

class LazyGraphics final : public Lazy<Graphics, CairoBackend, &CairoBackend::graphics> {
public:
    LazyGraphics() : Lazy("cairo", "graphics") {}
    std::unique_ptr<Image> decodePng(std::span<const uint8_t> data) override {
        return or_([&](Graphics& g) { return g.decodePng(data); },
                   [] { return std::unique_ptr<Image>(); });
    }
    std::unique_ptr<Canvas> createCanvas(int w, int h) override {
        return or_([&](Graphics& g) { return g.createCanvas(w, h); },
                   [&] { return makeBlankCanvas(w, h); });
    }
    std::vector<uint8_t> encodePng(const Pixels& pixels) override {
        return or_([&](Graphics& g) { return g.encodePng(pixels); },
                   [] { return std::vector<uint8_t>(); });
    }
};

// The mixer path is taken only on interface generation 5.
class LazyMixer final : public Lazy<Mixer, AlsaBackend, &AlsaBackend::mixer> {
public:
    LazyMixer() : Lazy("alsa", "mixer") {}
    uint32_t deviceCount() override {
        return or_([](Mixer& m) { return m.deviceCount(); }, [] { return uint32_t{0}; });
    }
    std::unique_ptr<SpeakerLine> openSpeakerLine() override {
        return or_([](Mixer& m) { return m.openSpeakerLine(); },
                   [] { return std::unique_ptr<SpeakerLine>(); });
    }
};

class LazyLauncher final : public Lazy<Launcher, GioBackend, &GioBackend::launcher> {
public:
    LazyLauncher() : Lazy("gio", "launcher") {}
    bool launch(const std::string& file, const std::string& parameters) override {
        return or_([&](Launcher& l) { return l.launch(file, parameters); }, [] { return false; });
    }
    bool splitsParameters(const std::string& parameters, std::string& why) override {
        return or_([&](Launcher& l) { return l.splitsParameters(parameters, why); },
                   [] { return true; });
    }
};

}  // namespace

std::unique_ptr<XmlReaders> makeLazyXmlReaders() {
    return std::make_unique<LazyXmlReaders>();
}

std::unique_ptr<Graphics> makeLazyGraphics() {
    return std::make_unique<LazyGraphics>();
}

std::unique_ptr<Mixer> makeLazyMixer() {
    return std::make_unique<LazyMixer>();
}

std::unique_ptr<Launcher> makeLazyLauncher() {
    return std::make_unique<LazyLauncher>();
}

std::optional<std::vector<std::string>> launchArguments(const std::string& file,
                                                        const std::string& parameters,
                                                        std::string& why) {
    const auto* gio = loadBackend<GioBackend>("gio", why);
    if (!gio) return std::nullopt;
    return gio->launchArguments(file, parameters, why);
}

}  // namespace platform::linux_adapter
