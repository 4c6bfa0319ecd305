// An OSD model window on a headless surface with Cairo drawing, for painting tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "osd/osd_window.h"
#include "platform/headless_osd.h"
#include "platform/linux/cairo/cairo_graphics.h"
#include "platform/ports.h"
#include "tests/support/lifelong_window.h"

// Delegates to a headless window and records every alpha set, with when it was set.
class RecordingOsd final : public platform::OsdSurface {
public:
    struct AlphaSet {
        uint8_t alpha;
        std::chrono::steady_clock::time_point at;
    };
    platform::HeadlessOsd inner;

    void prepare(std::function<void()> f) override { inner.prepare(std::move(f)); }
    void setAlpha(uint8_t a) override {
        {
            std::lock_guard l(m);
            sets.push_back({a, std::chrono::steady_clock::now()});
        }
        inner.setAlpha(a);
    }
    uint8_t alpha() const override { return inner.alpha(); }
    void raise() override {}
    void move(int x, int y, int w, int h) override { inner.move(x, y, w, h); }
    platform::Rect windowRect() const override { return inner.windowRect(); }
    platform::Rect clientRect() const override { return inner.clientRect(); }
    platform::Rect primaryMonitor() override { return inner.primaryMonitor(); }
    bool taskbarRect(platform::Rect& r) override { return taskbarPresent && inner.taskbarRect(r); }
    void present(const platform::Pixels& p) override {
        inner.present(p);
        frame = p;
    }
    platform::Pixels screenshot() const override { return inner.screenshot(); }

    std::vector<AlphaSet> alphas() {
        std::lock_guard l(m);
        return sets;
    }
    void clearAlphas() {
        std::lock_guard l(m);
        sets.clear();
    }

    bool taskbarPresent = true;
    platform::Pixels frame;

private:
    std::mutex m;
    std::vector<AlphaSet> sets;
};

// An OSD-model window on `surface` with Cairo drawing, the OSD handlers registered and the
// window prepared, as start-up leaves it. The window lives as long as the process, as the
// program's does: worker threads may still post to it while a test ends.
inline CVESKOSDDlg* openOsdWindow(std::unique_ptr<platform::OsdSurface> surface) {
    resetGlobals();
    dispatch::clearHandlers();
    iOSDLeft = -1;
    iOSDTop = -1;
    TaskbarRect = {};
    platform::Ports p;
    p.osdSurface = std::move(surface);
    p.graphics = std::make_unique<platform::linux_adapter::CairoGraphics>();
    platform::installPorts(std::move(p));
    auto* dlg = testsupport::lifelongWindow();
    hMainWnd = dlg;
    registerOsdHandlers();
    PrepareOSDWindow();
    return dlg;
}

inline void closeOsdWindow() {
    hMainWnd = nullptr;
    dispatch::clearHandlers();
    platform::installPorts({});
    resetGlobals();
}

class OsdTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto s = std::make_unique<RecordingOsd>();
        osd = s.get();
        dlg = openOsdWindow(std::move(s));
    }
    void TearDown() override { closeOsdWindow(); }
    void post(base::LPARAM code) { dlg->WindowProc(WM_DEVICE_EVENT, 512, code); }
    void showVolume(int32_t level, bool muted = false) {
        VolumeCount = level;
        fVolumeMute = muted ? 1 : 0;
        post(muted ? 36 : 32);
    }
    const PaintedImage* image(const char* slot) {
        for (const auto& i : lastPaint().images) {
            if (i.slot == slot) return &i;
        }
        return nullptr;
    }

    RecordingOsd* osd = nullptr;
    CVESKOSDDlg* dlg = nullptr;
};
