#include "platform/linux/backend_lazy.h"

#include <cstdio>
#include <mutex>

#include "platform/linux/backend_loader.h"

namespace platform::linux_adapter {

namespace {

// The module's table on first use; a missing one is said once on stderr.
template <class Table>
const Table* table(const char* family, const char* port) {
    std::string why;
    const Table* t = loadBackend<Table>(family, why);
    if (!t) std::fprintf(stderr, "veskosd: %s: %s; it does nothing\n", port, why.c_str());
    return t;
}

class LazyXmlReaders final : public XmlReaders {
public:
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) override {
        std::call_once(once_, [this] {
            if (const auto* t = table<XmlBackend>("xml", "xml")) real_ = t->readers();
        });
        return real_ ? real_->open(document) : nullptr;
    }

private:
    std::once_flag once_;
    std::unique_ptr<XmlReaders> real_;
};

class LazyGraphics final : public Graphics {
public:
    std::unique_ptr<Image> decodePng(std::span<const uint8_t> data) override {
        Graphics* g = real();
        return g ? g->decodePng(data) : nullptr;
    }
    std::unique_ptr<Canvas> createCanvas(int w, int h) override {
        Graphics* g = real();
        return g ? g->createCanvas(w, h) : makeBlankCanvas(w, h);
    }
    std::vector<uint8_t> encodePng(const Pixels& pixels) override {
        Graphics* g = real();
        return g ? g->encodePng(pixels) : std::vector<uint8_t>{};
    }

private:
    Graphics* real() {
        std::call_once(once_, [this] {
            if (const auto* t = table<CairoBackend>("cairo", "graphics")) real_ = t->graphics();
        });
        return real_.get();
    }
    std::once_flag once_;
    std::unique_ptr<Graphics> real_;
};

// The mixer path is taken only on interface generation 5.
class LazyMixer final : public Mixer {
public:
    uint32_t deviceCount() override {
        Mixer* m = real();
        return m ? m->deviceCount() : 0;
    }
    std::unique_ptr<SpeakerLine> openSpeakerLine() override {
        Mixer* m = real();
        return m ? m->openSpeakerLine() : nullptr;
    }

private:
    Mixer* real() {
        std::call_once(once_, [this] {
            if (const auto* t = table<AlsaBackend>("alsa", "mixer")) real_ = t->mixer();
        });
        return real_.get();
    }
    std::once_flag once_;
    std::unique_ptr<Mixer> real_;
};

class LazyLauncher final : public Launcher {
public:
    bool launch(const std::string& file, const std::string& parameters) override {
        Launcher* l = real();
        return l && l->launch(file, parameters);
    }
    // The module's own splitting, so the answer is the one its launch would come to.
    bool splitsParameters(const std::string& parameters, std::string& why) override {
        real();
        return !gio_ || gio_->launchArguments({}, parameters, why).has_value();
    }

private:
    Launcher* real() {
        std::call_once(once_, [this] {
            gio_ = table<GioBackend>("gio", "launcher");
            if (gio_) real_ = gio_->launcher();
        });
        return real_.get();
    }
    std::once_flag once_;
    const GioBackend* gio_ = nullptr;
    std::unique_ptr<Launcher> real_;
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
