#include "osd/osd_window.h"

#include "app/globals.h"
#include "app/status.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"

std::atomic<int32_t> iOSDLeft{-1};
std::atomic<int32_t> iOSDTop{-1};
platform::Rect OSDWindowRect;
float fScreenWidth = 0.0f;
float fScreenHeight = 0.0f;
platform::Rect TaskbarRect;

CGdiPlusBitmapResource BarBGImage;
CGdiPlusBitmapResource BarFGImage;
CGdiPlusBitmapResource IconImage;

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

PaintRecord record;
std::string iconName, foregroundName, backgroundName;

platform::OsdSurface& surface() {
    return *platform::ports().osdSurface;
}

void load(CGdiPlusBitmapResource& slot, std::string& loadedName, const char* name) {
    slot.Load(name);
    loadedName = name;
}

void placeWindow() {
    surface().setAlpha(0);
    // The primary screen, wherever it lies among the monitors: the bar is placed inside it.
    const platform::Rect monitor = surface().primaryMonitor();
    fScreenWidth = static_cast<float>(monitor.width());
    fScreenHeight = static_cast<float>(monitor.height());
    platform::Rect taskbar;
    // No taskbar found keeps the rectangle of the last one.
    if (surface().taskbarRect(taskbar)) TaskbarRect = taskbar;
    const int taskbarHeight = TaskbarRect.bottom - TaskbarRect.top;
    iOSDLeft = monitor.left + static_cast<int32_t>(fScreenWidth * 31.0f / 100.0f);
    const auto width = static_cast<int32_t>(fScreenWidth * 38.0f / 100.0f);
    iOSDTop =
        monitor.top + static_cast<int32_t>(fScreenHeight - static_cast<float>(3 * taskbarHeight));
    surface().move(iOSDLeft, iOSDTop, width, kOsdHeight);
    OSDWindowRect = surface().windowRect();
}

void loadImages() {
    load(BarBGImage, backgroundName, "IDR_BARBG");
    if (bOSDShowVolume) {
        if (!fVolumeMute) {
            load(BarFGImage, foregroundName, "IDR_BARFG");
            const int32_t v = VolumeCount;
            load(IconImage, iconName,
                 v <= 25   ? "IDR_VOLUME_1"
                 : v <= 50 ? "IDR_VOLUME_2"
                 : v <= 75 ? "IDR_VOLUME_3"
                           : "IDR_VOLUME_4");
        } else {
            load(BarFGImage, foregroundName, "IDR_BARMT");
            load(IconImage, iconName, "IDR_VOLUME_M");
        }
    }
    if (bOSDShowBrightness) {
        load(BarFGImage, foregroundName, "IDR_BARFG");
        load(IconImage, iconName, "IDR_BRIGHTNESS");
    }
}

void iconPosition(float& x, float& y) {
    x = 3.0f;
    y = 0.0f;
    if (!bOSDShowVolume) return;
    if (fVolumeMute) {
        x = 3.5f;
        return;
    }
    const int32_t v = VolumeCount;
    if (v <= 25) {
        x = 3.0f;
        y = 0.5f;
    } else if (v <= 50) {
        x = 3.5f;
        y = 0.5f;
    } else if (v <= 75) {
        x = 2.7f;
    } else {
        x = 2.8f;
    }
}

void draw(platform::Canvas& canvas, const CGdiPlusBitmapResource& slot, const char* slotName,
          const std::string& resource, float x, float y, float w, float h) {
    // A failed draw is ignored, as an empty slot draws nothing.
    canvas.drawImageRect(slot.m_pBitmap.get(), x, y, w, h);
    record.images.push_back({slotName, slot.m_pBitmap ? resource : std::string(), x, y, w, h});
}

}  // namespace

const PaintRecord& lastPaint() {
    return record;
}

void PrepareOSDWindow() {
    surface().prepare([] { base::postMessage(hMainWnd.load(), WM_DISPLAYCHANGE, 0, 0); });
    surface().setAlpha(0);
}

void OsdOnPaint() {
    if (!bOSDModel) return;
    if (iOSDLeft == -1 && iOSDTop == -1) placeWindow();

    const platform::Rect client = surface().clientRect();
    auto canvas = platform::ports().graphics->createCanvas(client.width(), client.height());
    loadImages();

    // The icon-title font, bold at a 24-pixel cell: made anew each paint, owned by the window.
    platform::FontSpec font{"sans", 24, true};
    if (auto* dlg = dynamic_cast<CVESKOSDDlg*>(hMainWnd.load())) {
        dlg->m_Font.DeleteObject();
        dlg->m_Font.font = font;
    }

    record = {};
    canvas->fill(kBlack);
    const int winW = OSDWindowRect.width();
    const int winH = OSDWindowRect.height();
    if (bOSDShowVolume) {
        const int32_t v = VolumeCount;
        record.textX = winW - (v < 10 ? 27 : v < 100 ? 33 : 39);
        record.text = szVolumeCount;
    } else if (bOSDShowBrightness) {
        const int32_t b = BRIGHTNESSCount;
        record.textX = winW - (b < 10 ? 26 : b < 100 ? 32 : 38);
        record.text = szBRIGHTNESSCount;
    }
    record.textY = 2;
    if (!record.text.empty()) {
        canvas->drawText(record.textX, record.textY, record.text, font, kWhite, kBlack);
    }

    float iconX = 0, iconY = 0;
    iconPosition(iconX, iconY);
    draw(*canvas, IconImage, "icon", iconName, iconX, iconY, 34.0f, 28.0f);

    const float barY = static_cast<float>(winH) * 0.25f;
    const float barW = static_cast<float>(winW) - 80.0f;
    // Halved in integers first, then made a float: 30 pixels give a 14-pixel bar.
    const auto barH = static_cast<float>(winH / 2 - 1);  // NOLINT(bugprone-integer-division)
    draw(*canvas, BarBGImage, "background", backgroundName, 40.0f, barY, barW, barH);

    int32_t level = 0;
    if (bOSDShowVolume) {
        level = VolumeCount;
    } else if (bOSDShowBrightness) {
        level = BRIGHTNESSCount;
    }
    if ((bOSDShowVolume || bOSDShowBrightness) && level >= 1 && level <= 100) {
        draw(*canvas, BarFGImage, "foreground", foregroundName, 40.0f, barY,
             barW * static_cast<float>(level) / 100.0f, barH);
    }
    platform::OsdContent content;
    if (bOSDShowVolume) {
        content = {platform::OsdContent::Kind::Volume, level, fVolumeMute != 0};
    } else if (bOSDShowBrightness) {
        content = {platform::OsdContent::Kind::Brightness, level, false};
    }
    surface().describe(content);
    surface().present(canvas->pixels());
}

void ShowOSD(const std::function<void()>& update, const std::function<void()>& beforeReveal) {
    base::Window* wnd = hMainWnd.load();
    surface().raise();
    if (update) update();
    if (wnd) wnd->WindowProc(WM_PAINT, 0, 0);
    if (beforeReveal) beforeReveal();
    surface().setAlpha(OSD_SHOW_ALPHA);
}

namespace {

void onVolumeStep(base::WPARAM, base::LPARAM) {
    ShowOSD([] { szVolumeCount = std::to_string(VolumeCount.load()); });
}

void onMute(base::WPARAM, base::LPARAM) {
    ShowOSD();
}

void onDisplayChange(base::WPARAM, base::LPARAM) {
    bOSDShowVolume = 0;
    bOSDShowBrightness = 0;
    if (!bOSDModel) return;
    iOSDLeft = -1;
    iOSDTop = -1;
    if (base::Window* wnd = hMainWnd.load()) wnd->WindowProc(WM_PAINT, 0, 0);
}

nlohmann::json rectJson(const platform::Rect& r) {
    return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}};
}

}  // namespace

void registerOsdHandlers() {
    dispatch::registerDeviceEventHandler(LPARAM_SR_VOL_UP_MAKE, dispatch::kOsdModel, onVolumeStep);
    dispatch::registerDeviceEventHandler(LPARAM_SR_VOL_DOWN_MAKE, dispatch::kOsdModel,
                                         onVolumeStep);
    dispatch::registerDeviceEventHandler(LPARAM_SR_MUTE, dispatch::kOsdModel, onMute);
    dispatch::registerMessageHandlerBothModels(WM_DISPLAYCHANGE, onDisplayChange);
    CVESKOSDDlg::paintBody = OsdOnPaint;
    registerStatusSection("osd", [] {
        nlohmann::json images = nlohmann::json::array();
        for (const auto& i : record.images) {
            images.push_back({{"slot", i.slot},
                              {"resource", i.resource},
                              {"x", i.x},
                              {"y", i.y},
                              {"w", i.w},
                              {"h", i.h}});
        }
        return nlohmann::json{
            {"alpha", surface().alpha()},
            {"rect", rectJson(surface().windowRect())},
            {"iOSDLeft", iOSDLeft.load()},
            {"iOSDTop", iOSDTop.load()},
            {"taskbar", rectJson(TaskbarRect)},
            {"painted", {{"images", images}, {"text", record.text}, {"textX", record.textX}}}};
    });
}

std::vector<uint8_t> osdScreenshotPng() {
    return platform::ports().graphics->encodePng(surface().screenshot());
}
