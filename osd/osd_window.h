// The on-screen display: the main window itself, placed near the bottom of the primary screen,
// painted with a level bar, shown at a fixed alpha and faded out by its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/event.h"
#include "osd/gdiplus_bitmap.h"
#include "platform/osd_surface.h"

inline constexpr uint8_t OSD_SHOW_ALPHA = 192;
inline constexpr uint8_t kFadeStartAlpha = 184;
inline constexpr uint8_t kFadeStep = 8;
inline constexpr uint32_t kFadeHoldMs = 1000;
inline constexpr uint32_t kFadeStepMs = 100;
inline constexpr int kOsdHeight = 30;

// Position given at the last placement; both -1 means the next paint places the window.
extern std::atomic<int32_t> iOSDLeft;
extern std::atomic<int32_t> iOSDTop;
extern platform::Rect OSDWindowRect;
extern float fScreenWidth;
extern float fScreenHeight;
extern platform::Rect TaskbarRect;

extern CGdiPlusBitmapResource BarBGImage;
extern CGdiPlusBitmapResource BarFGImage;
extern CGdiPlusBitmapResource IconImage;

extern std::atomic<base::Event*> hShowOSDEvent;
extern std::atomic<base::Event*> hFadeOutOSDEvent;

// What the last paint drew, for tests and diagnostics.
struct PaintedImage {
    std::string slot;      // "icon", "background", "foreground"
    std::string resource;  // the name loaded into the slot
    float x, y, w, h;
};
struct PaintRecord {
    std::vector<PaintedImage> images;
    std::string text;
    int textX = 0;
    int textY = 0;
};
const PaintRecord& lastPaint();

// GUI thread.
void PrepareOSDWindow();
void OsdOnPaint();
// Raise, let the caller update its level and text, repaint at once, let the caller do what
// must come before the reveal, then show at OSD_SHOW_ALPHA.
void ShowOSD(const std::function<void()>& update = {},
             const std::function<void()>& beforeReveal = {});
// Any thread.
void StartOSDFadeOut();
void ThreadFOFunction();

// Start-up, OSD model: the show and fade events, then the fade thread.
void CreateOsdEvents();
void StartOsdFadeThread();
// The handlers of the volume events and the display change, and the status section.
void registerOsdHandlers();
// The window as seen, encoded as PNG; empty when there is nothing to encode.
std::vector<uint8_t> osdScreenshotPng();
