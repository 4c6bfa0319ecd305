#include <gtest/gtest.h>

#include "osd/gdiplus_bitmap.h"
#include "res/resources.h"
#include "tests/osd/osd_fixture.h"

namespace {

TEST_F(OsdTest, FirstShowPlacesTheWindowAboveTheDockAndReveals) {
    EXPECT_EQ(osd->alpha(), 0);
    showVolume(50);
    EXPECT_EQ(iOSDLeft.load(), 595);
    EXPECT_EQ(iOSDTop.load(), 960);
    EXPECT_EQ(OSDWindowRect, (platform::Rect{595, 960, 595 + 729, 990}));
    EXPECT_EQ(osd->alpha(), OSD_SHOW_ALPHA);
    // Placement hid the window before the show revealed it.
    auto alphas = osd->alphas();
    ASSERT_GE(alphas.size(), 2u);
    EXPECT_EQ(alphas[alphas.size() - 2].alpha, 0);
    EXPECT_EQ(alphas.back().alpha, 192);
    // The drawing surface is the client area inside the border.
    EXPECT_EQ(osd->frame.width, 727);
    EXPECT_EQ(osd->frame.height, 28);
}

struct IconCase {
    int32_t level;
    bool muted;
    const char* icon;
    float x, y;
    const char* foreground;
};

class IconChoice : public OsdTest, public ::testing::WithParamInterface<IconCase> {};

TEST_P(IconChoice, PicksTheImageAndItsPlace) {
    const IconCase c = GetParam();
    showVolume(c.level, c.muted);
    const PaintedImage* icon = image("icon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->resource, c.icon);
    EXPECT_FLOAT_EQ(icon->x, c.x);
    EXPECT_FLOAT_EQ(icon->y, c.y);
    EXPECT_FLOAT_EQ(icon->w, 34.0f);
    EXPECT_FLOAT_EQ(icon->h, 28.0f);
    const PaintedImage* fg = image("foreground");
    if (c.level == 0) {
        EXPECT_EQ(fg, nullptr);
    } else {
        ASSERT_NE(fg, nullptr);
        EXPECT_EQ(fg->resource, c.foreground);
    }
}

INSTANTIATE_TEST_SUITE_P(
    VolumeLevels, IconChoice,
    ::testing::Values(IconCase{0, false, "IDR_VOLUME_1", 3.0f, 0.5f, ""},
                      IconCase{25, false, "IDR_VOLUME_1", 3.0f, 0.5f, "IDR_BARFG"},
                      IconCase{26, false, "IDR_VOLUME_2", 3.5f, 0.5f, "IDR_BARFG"},
                      IconCase{50, false, "IDR_VOLUME_2", 3.5f, 0.5f, "IDR_BARFG"},
                      IconCase{51, false, "IDR_VOLUME_3", 2.7f, 0.0f, "IDR_BARFG"},
                      IconCase{75, false, "IDR_VOLUME_3", 2.7f, 0.0f, "IDR_BARFG"},
                      IconCase{76, false, "IDR_VOLUME_4", 2.8f, 0.0f, "IDR_BARFG"},
                      IconCase{100, false, "IDR_VOLUME_4", 2.8f, 0.0f, "IDR_BARFG"},
                      IconCase{40, true, "IDR_VOLUME_M", 3.5f, 0.0f, "IDR_BARMT"},
                      IconCase{0, true, "IDR_VOLUME_M", 3.5f, 0.0f, ""}));

TEST_F(OsdTest, BarGeometryFollowsTheOuterSizeAndTheLevel) {
    showVolume(40, true);
    const PaintedImage* bg = image("background");
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(bg->resource, "IDR_BARBG");
    EXPECT_FLOAT_EQ(bg->x, 40.0f);
    EXPECT_FLOAT_EQ(bg->y, 7.5f);
    EXPECT_FLOAT_EQ(bg->w, 729.0f - 80.0f);
    EXPECT_FLOAT_EQ(bg->h, 14.0f);
    const PaintedImage* fg = image("foreground");
    ASSERT_NE(fg, nullptr);
    EXPECT_FLOAT_EQ(fg->w, 649.0f * 40.0f / 100.0f);
    showVolume(100);
    EXPECT_FLOAT_EQ(image("foreground")->w, 649.0f);
}

TEST_F(OsdTest, BrightnessShowsTheSunAndItsLevel) {
    BRIGHTNESSCount = 5;
    szBRIGHTNESSCount = "5";
    post(17);
    ShowOSD();
    const PaintedImage* icon = image("icon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->resource, "IDR_BRIGHTNESS");
    EXPECT_FLOAT_EQ(icon->x, 3.0f);
    EXPECT_FLOAT_EQ(icon->y, 0.0f);
    EXPECT_FLOAT_EQ(icon->w, 34.0f);  // the 28-pixel sun is scaled into the icon box
    EXPECT_EQ(image("foreground")->resource, "IDR_BARFG");
    EXPECT_FLOAT_EQ(image("foreground")->w, 649.0f * 5.0f / 100.0f);
    EXPECT_EQ(lastPaint().text, "5");
    EXPECT_EQ(lastPaint().textX, 729 - 26);
}

TEST_F(OsdTest, TextMovesLeftWithEachDigit) {
    showVolume(7);
    EXPECT_EQ(lastPaint().text, "7");
    EXPECT_EQ(lastPaint().textX, 729 - 27);
    EXPECT_EQ(lastPaint().textY, 2);
    showVolume(42);
    EXPECT_EQ(lastPaint().textX, 729 - 33);
    showVolume(100);
    EXPECT_EQ(lastPaint().text, "100");
    EXPECT_EQ(lastPaint().textX, 729 - 39);
    BRIGHTNESSCount = 100;
    szBRIGHTNESSCount = "100";
    post(18);
    ShowOSD();
    EXPECT_EQ(lastPaint().textX, 729 - 38);
    BRIGHTNESSCount = 60;
    post(18);
    ShowOSD();
    EXPECT_EQ(lastPaint().textX, 729 - 32);
}

TEST_F(OsdTest, MuteKeepsTheTextAsItWas) {
    VolumeCount = 40;
    szVolumeCount = "38";
    fVolumeMute = 1;
    post(36);
    EXPECT_EQ(lastPaint().text, "38");
}

// Client pixels are the outer layout shifted by the one-pixel border.
TEST_F(OsdTest, ThePixelsShowTheForegroundOnlyUpToTheLevel) {
    showVolume(50);
    const platform::Pixels& f = osd->frame;
    auto blue = [](uint32_t p) { return (p & 0xFF) > ((p >> 16) & 0xFF) + 20; };
    const int row = 13;  // middle of the bar, client coordinates
    EXPECT_TRUE(blue(f.at(40 + 20, row)));
    EXPECT_TRUE(blue(f.at(40 + 300, row)));
    EXPECT_FALSE(blue(f.at(40 + 340, row)));  // past 324.5 pixels: background only
    EXPECT_FALSE(blue(f.at(40 + 600, row)));
    // Above and below the bar the window is black.
    EXPECT_EQ(f.at(300, 2) & 0xFFFFFF, 0u);
    EXPECT_EQ(f.at(300, 25) & 0xFFFFFF, 0u);
    // The number is drawn in white near its place at the right.
    int white = 0;
    for (int y = 2; y < 26; ++y) {
        for (int x = 729 - 33 - 1; x < 727; ++x) white += (f.at(x, y) & 0xFFFFFF) == 0xFFFFFF;
    }
    EXPECT_GT(white, 20);
}

TEST_F(OsdTest, DisplayChangeHidesClearsAndReplacesOnTheNewScreen) {
    showVolume(50);
    ASSERT_EQ(osd->alpha(), 192);
    osd->inner.changeScreen(1280, 1024, 30);
    dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);  // what the posted notice does on the GUI thread
    EXPECT_EQ(bOSDShowVolume.load(), 0);
    EXPECT_EQ(osd->alpha(), 0);
    EXPECT_EQ(OSDWindowRect, (platform::Rect{396, 934, 396 + 486, 964}));
    showVolume(20);
    EXPECT_EQ(osd->alpha(), 192);
    EXPECT_EQ(iOSDLeft.load(), 396);
}

// Two monitors, the primary one to the right of the other and lower: the bar lies inside it.
TEST_F(OsdTest, TheBarIsPlacedInsideAPrimaryMonitorAwayFromTheOrigin) {
    osd->inner.changeMonitor({1920, 200, 1920 + 1280, 200 + 1024}, 30);
    dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);
    showVolume(50);
    EXPECT_EQ(OSDWindowRect, (platform::Rect{1920 + 396, 200 + 934, 1920 + 396 + 486, 200 + 964}));
    EXPECT_EQ(iOSDLeft.load(), 1920 + 396);
    EXPECT_EQ(iOSDTop.load(), 200 + 934);
}

TEST_F(OsdTest, DisplayChangeOnTheControllerModelOnlyClearsTheFlags) {
    bOSDModel = 0;
    bOSDShowBrightness = 1;
    dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(bOSDShowBrightness.load(), 0);
    EXPECT_EQ(iOSDLeft.load(), -1);
    EXPECT_TRUE(lastPaint().images.empty() || osd->frame.width == 0);
}

TEST_F(OsdTest, AMissingTaskbarKeepsTheLastOne) {
    showVolume(50);
    osd->taskbarPresent = false;
    osd->inner.changeScreen(1920, 1200, 0);
    dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(iOSDTop.load(), 1200 - 3 * 40);
}

TEST_F(OsdTest, WithoutAnyTaskbarTheBarSitsAtTheBottomEdge) {
    osd->taskbarPresent = false;
    showVolume(50);
    EXPECT_EQ(iOSDTop.load(), 1080);
}

TEST(GdiPlusBitmapResource, LoadsEveryImageAtItsSize) {
    platform::Ports p;
    p.graphics = std::make_unique<platform::linux_adapter::CairoGraphics>();
    platform::installPorts(std::move(p));
    struct {
        const char* name;
        int w, h;
    } images[] = {{"IDR_BARBG", 573, 26},   {"IDR_BARFG", 406, 26},   {"IDR_BARMT", 406, 26},
                  {"IDR_VOLUME_1", 34, 28}, {"IDR_VOLUME_2", 34, 28}, {"IDR_VOLUME_3", 34, 28},
                  {"IDR_VOLUME_4", 34, 28}, {"IDR_VOLUME_M", 34, 28}, {"IDR_BRIGHTNESS", 28, 28}};
    for (const auto& i : images) {
        CGdiPlusBitmapResource b;
        ASSERT_TRUE(b.Load(i.name)) << i.name;
        EXPECT_EQ(b.m_pBitmap->width(), i.w) << i.name;
        EXPECT_EQ(b.m_pBitmap->height(), i.h) << i.name;
        EXPECT_EQ(b.m_hBuffer->size(), FindResource(i.name, "PNG")->size());
    }
    platform::installPorts({});
}

TEST(GdiPlusBitmapResource, FailuresLeaveTheObjectEmpty) {
    platform::Ports p;
    p.graphics = std::make_unique<platform::linux_adapter::CairoGraphics>();
    platform::installPorts(std::move(p));
    CGdiPlusBitmapResource b;
    ASSERT_TRUE(b.Load("IDR_BARBG"));
    // An unknown name empties an object that held an image.
    EXPECT_FALSE(b.Load("IDR_NOSUCH"));
    EXPECT_EQ(b.m_pBitmap, nullptr);
    EXPECT_EQ(b.m_hBuffer, nullptr);
    // The right name under another type is not found either.
    EXPECT_FALSE(FindResource("IDR_BARBG", "ICON"));
    addResource("IDR_BROKEN", "PNG", {0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_FALSE(b.Load("IDR_BROKEN"));
    EXPECT_EQ(b.m_pBitmap, nullptr);
    EXPECT_EQ(b.m_hBuffer, nullptr);
    addResource("IDR_EMPTY", "PNG", {});
    EXPECT_FALSE(b.Load("IDR_EMPTY"));
    // Loading twice replaces; destroying one never loaded does nothing.
    ASSERT_TRUE(b.Load("IDR_VOLUME_1"));
    ASSERT_TRUE(b.Load("IDR_VOLUME_2"));
    { CGdiPlusBitmapResource never; }
    platform::installPorts({});
}

}  // namespace
