// The OSD window on a real X server (Xvfb, no compositor: alpha shows as mapped or not).
// gtest first: X11's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <latch>
#include <thread>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "osd/osd_window.h"
#include "platform/linux/cairo/cairo_graphics.h"
#include "platform/linux/x11/x11_osd.h"
#include "platform/ports.h"
#include "tests/osd/osd_fixture.h"
#include "tests/platform/linux/x11/x11_fixture.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono;
using platform::linux_adapter::X11Connection;
using platform::linux_adapter::X11Osd;

bool bluish(uint32_t rgb) {
    return (rgb & 0xFF) > ((rgb >> 16) & 0xFF) + 20;
}

class X11OsdTest : public testsupport::X11Fixture {
protected:
    void SetUp() override {
        X11Fixture::SetUp();
        if (HasFatalFailure()) return;
        auto s = std::make_unique<X11Osd>(x);
        osd = s.get();
        dlg = openOsdWindow(std::move(s));
    }
    void TearDown() override {
        closeOsdWindow();
        X11Fixture::TearDown();
    }
    void showVolume(int32_t level) {
        VolumeCount = level;
        dlg->WindowProc(WM_DEVICE_EVENT, 512, LPARAM_SR_VOL_UP_MAKE);
    }
    // Waits for the X server to have drawn what was sent.
    void sync() {
        Display* d = XOpenDisplay(nullptr);
        XSync(d, False);
        XCloseDisplay(d);
    }

    X11Osd* osd = nullptr;
    CVESKOSDDlg* dlg = nullptr;
};

TEST_F(X11OsdTest, StartsTransparentAndShowsTheBarAtThePlacedRectangle) {
    EXPECT_FALSE(testsupport::windowViewable("VESKOSD"));
    showVolume(50);
    sync();
    EXPECT_TRUE(testsupport::windowViewable("VESKOSD"));
    // No dock on this desktop: the 40-pixel default strip puts the bar at 960.
    EXPECT_EQ(OSDWindowRect, (platform::Rect{595, 960, 1324, 990}));
    // Screen coordinates: the window's corner, the border, then the client layout.
    const int rowY = 960 + 1 + 13;
    EXPECT_TRUE(bluish(testsupport::rootPixel(595 + 1 + 60, rowY)));
    EXPECT_FALSE(bluish(testsupport::rootPixel(595 + 1 + 40 + 340, rowY)));
    EXPECT_EQ(testsupport::rootPixel(595 + 1 + 300, 960 + 2), 0x000000u);
    EXPECT_EQ(testsupport::rootPixel(595, 960), 0x404040u);  // the border
    EXPECT_EQ(testsupport::rootPixel(500, 975), 0x000000u);  // Xvfb's black root beside it
}

// The alpha a compositor would use is on the window whether or not one runs at the moment, so
// that showing it needs no question to the server.
TEST_F(X11OsdTest, TheWindowCarriesItsAlphaWithoutACompositor) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    auto opacity = [d]() -> long {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        long value = -1;
        XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count; ++i) {
            char* name = nullptr;
            const bool osdWindow =
                XFetchName(d, children[i], &name) && name && std::string(name) == "VESKOSD";
            if (name) XFree(name);
            if (!osdWindow) continue;
            Atom type = 0;
            int format = 0;
            unsigned long n = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, children[i], XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False),
                                   0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                                   &data) == Success &&
                data && n == 1) {
                value = static_cast<uint32_t>(*reinterpret_cast<long*>(data));
            }
            if (data) XFree(data);
        }
        if (children) XFree(children);
        return value;
    };
    showVolume(50);
    sync();
    EXPECT_EQ(opacity(), static_cast<long>(192ul * 0xFFFFFFFFul / 255ul));
    osd->setAlpha(0);
    sync();
    EXPECT_EQ(opacity(), 0);
    XCloseDisplay(d);
}

TEST_F(X11OsdTest, AfterTheFadeTheWindowIsGone) {
    CreateOsdEvents();
    StartOsdFadeThread();
    showVolume(30);
    sync();
    ASSERT_TRUE(testsupport::windowViewable("VESKOSD"));
    StartOSDFadeOut();
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_TRUE(testsupport::windowViewable("VESKOSD"));  // fading, not gone
    std::this_thread::sleep_for(milliseconds(2000));
    EXPECT_FALSE(testsupport::windowViewable("VESKOSD"));
    EXPECT_EQ(osd->alpha(), 0);
}

TEST_F(X11OsdTest, TheDockWindowSetsTheHeightAndTheLastOneStays) {
    Display* d = XOpenDisplay(nullptr);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    Window dock = XCreateWindow(d, DefaultRootWindow(d), 0, 1080 - 48, 1920, 48, 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWOverrideRedirect, &a);
    Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom dockType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(d, dock, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dockType), 1);
    XMapWindow(d, dock);
    XSync(d, False);
    showVolume(50);
    EXPECT_EQ(iOSDTop.load(), 1080 - 3 * 48);
    XDestroyWindow(d, dock);
    XSync(d, False);
    XCloseDisplay(d);
    platform::Rect r;
    EXPECT_FALSE(osd->taskbarRect(r));
    dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(iOSDTop.load(), 1080 - 3 * 48);
}

TEST_F(X11OsdTest, AScreenChangeReachesTheWindowAsADisplayChange) {
    showVolume(50);
    testsupport::run({"xrandr", "--newmode", "1024x768", "0", "1024", "1024", "1024", "1024", "768",
                      "768", "768", "768"});
    testsupport::run({"xrandr", "--addmode", "screen", "1024x768"});
    int status = -1;
    testsupport::run({"xrandr", "-s", "1024x768"}, &status);
    ASSERT_EQ(status, 0);
    // Adding the mode was a change too: take every notice, as the modal loop would, until the
    // one for the new size has been handled.
    base::MessageQueue::Item item;
    const auto deadline = steady_clock::now() + seconds(5);
    int width = 0;
    while (steady_clock::now() < deadline && !(width == 1024 && dlg->queue().pending() == 0)) {
        width = osd->primaryMonitor().width();
        if (dlg->queue().pending() == 0) {
            std::this_thread::sleep_for(milliseconds(10));
            continue;
        }
        dlg->queue().get(item);
        if (item.message.message == WM_DISPLAYCHANGE) dlg->WindowProc(WM_DISPLAYCHANGE, 0, 0);
    }
    ASSERT_EQ(width, 1024);
    EXPECT_FALSE(testsupport::windowViewable("VESKOSD"));
    showVolume(60);
    EXPECT_EQ(OSDWindowRect, (platform::Rect{317, 768 - 120, 317 + 389, 768 - 90}));
}

// The fade thread and the GUI thread set the alpha at the same moment: whichever comes last, the
// alpha recorded and the window on the server agree.
TEST_F(X11OsdTest, AlphaSetFromTwoThreadsAtOnceAgreesWithTheWindow) {
    showVolume(50);
    Display* d = XOpenDisplay(nullptr);
    int disagreements = 0;
    for (int round = 0; round < 300; ++round) {
        std::latch go(2);
        std::thread fade([&] {
            go.arrive_and_wait();
            osd->setAlpha(0);
        });
        std::thread gui([&] {
            go.arrive_and_wait();
            osd->setAlpha(OSD_SHOW_ALPHA);
        });
        fade.join();
        gui.join();
        {
            auto s = x->session();
            XSync(s.display(), False);
        }
        XWindowAttributes a;
        ASSERT_TRUE(XGetWindowAttributes(d, osd->window(), &a));
        disagreements += (a.map_state == IsViewable) != (osd->alpha() != 0);
    }
    XCloseDisplay(d);
    EXPECT_EQ(disagreements, 0);
}

}  // namespace
