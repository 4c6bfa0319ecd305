// The layered OSD window: its styles and alpha as the system holds them, its place, the taskbar
// it measures, what it shows on the screen, and the display change it hears of.
#include "platform/win32/osd/layered_osd.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <thread>

namespace {

using platform::Pixels;
using platform::Rect;
using platform::win32::LayeredOsd;

HWND hwndOf(const LayeredOsd& osd) {
    return static_cast<HWND>(osd.handle());
}

uint8_t layeredAlpha(HWND hwnd) {
    BYTE alpha = 0;
    DWORD flags = 0;
    EXPECT_TRUE(GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
    return alpha;
}

TEST(LayeredOsd, LayeredTopmostClickThroughAndHiddenUntilGivenAlpha) {
    LayeredOsd osd;
    osd.prepare({});
    HWND hwnd = hwndOf(osd);
    ASSERT_NE(hwnd, nullptr);
    const auto ex = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    for (const DWORD style : std::initializer_list<DWORD>{
             WS_EX_LAYERED, WS_EX_TOPMOST, WS_EX_TRANSPARENT, WS_EX_TOOLWINDOW, WS_EX_NOACTIVATE}) {
        EXPECT_EQ(ex & style, style) << std::hex << style;
    }
    const auto st = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    EXPECT_EQ(st & (WS_POPUP | WS_BORDER), static_cast<DWORD>(WS_POPUP | WS_BORDER));
    // The main window's title is for the main window alone.
    EXPECT_NE(FindWindowW(nullptr, L"VESKOSD"), hwnd);
    EXPECT_EQ(layeredAlpha(hwnd), 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));

    osd.move(595, 960, 729, 30);
    EXPECT_EQ(osd.windowRect(), (Rect{595, 960, 1324, 990}));
    EXPECT_EQ(osd.clientRect(), (Rect{0, 0, 727, 28}));

    // From a thread other than the window's and the one that made it.
    std::thread([&] { osd.setAlpha(192); }).join();
    EXPECT_EQ(osd.alpha(), 192);
    EXPECT_EQ(layeredAlpha(hwnd), 192);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    std::thread([&] { osd.setAlpha(8); }).join();
    EXPECT_EQ(layeredAlpha(hwnd), 8);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    std::thread([&] { osd.setAlpha(0); }).join();
    EXPECT_EQ(layeredAlpha(hwnd), 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
}

// The screen's pixels where the window lies, read back through the screen's device context.
Pixels screenPixels(const Rect& r) {
    Pixels p;
    p.width = r.width();
    p.height = r.height();
    p.argb.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::memcpy(p.argb.data(), bits, p.argb.size() * 4);
    for (uint32_t& px : p.argb) px |= 0xFF000000u;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return p;
}

// What the window shows on the display (no compositor: opaque) is its screenshot at full
// alpha: the dark grey border and the frame inside it.
TEST(LayeredOsd, ShowsTheBorderedFrameOnTheScreen) {
    LayeredOsd osd;
    osd.prepare({});
    osd.move(300, 200, 60, 20);
    Pixels frame;
    frame.width = 58;
    frame.height = 18;
    frame.argb.resize(std::size_t{58} * 18);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 58; ++x) {
            frame.argb[frame.index(x, y)] = x < 29 ? 0xFFC02010u : 0xFF1040E0u + (y << 8);
        }
    }
    osd.present(frame);
    osd.setAlpha(255);
    const Pixels seen = osd.screenshot();
    ASSERT_EQ(seen.width, 60);
    ASSERT_EQ(seen.height, 20);
    EXPECT_EQ(seen.at(0, 0), 0xFF404040u);
    EXPECT_EQ(seen.at(59, 19), 0xFF404040u);
    EXPECT_EQ(seen.at(1, 1), frame.at(0, 0));
    EXPECT_EQ(seen.at(58, 18), frame.at(57, 17));

    // The window's thread paints after the reveal: wait for the screen to show it.
    Pixels onScreen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        onScreen = screenPixels(osd.windowRect());
        if (onScreen.argb == seen.argb) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(onScreen.argb, seen.argb);

    osd.setAlpha(128);
    EXPECT_EQ(osd.screenshot().at(0, 0), 0x80202020u);
    osd.setAlpha(0);
}

LRESULT CALLBACK trayProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Without a taskbar the bottom strip of the Linux desktops stands for one (Wine's shell keeps a
// hidden Shell_TrayWnd with no area: that is none); a window of the taskbar's class is measured;
// once it has gone the last one stays in force.
TEST(LayeredOsd, TaskbarFromShellTrayWndOrTheDefaultStrip) {
    LayeredOsd osd;
    const Rect monitor = osd.primaryMonitor();
    EXPECT_EQ(monitor, (Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    ASSERT_GT(monitor.height(), 40);

    Rect taskbar;
    ASSERT_TRUE(osd.taskbarRect(taskbar));
    EXPECT_EQ(taskbar, (Rect{0, monitor.bottom - 40, monitor.right, monitor.bottom}));

    WNDCLASSW wc{};
    wc.lpfnWndProc = trayProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    ASSERT_TRUE(RegisterClassW(&wc));
    // Topmost, so that it is the one found before any other of its class.
    HWND tray = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Shell_TrayWnd", L"", WS_POPUP,
                                0, monitor.bottom - 48, monitor.right, 48, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(osd.taskbarRect(taskbar));
    EXPECT_EQ(taskbar, (Rect{0, monitor.bottom - 48, monitor.right, monitor.bottom}));

    DestroyWindow(tray);
    UnregisterClassW(L"Shell_TrayWnd", GetModuleHandleW(nullptr));
    taskbar = {1, 2, 3, 4};
    EXPECT_FALSE(osd.taskbarRect(taskbar));
    EXPECT_EQ(taskbar, (Rect{1, 2, 3, 4}));
}

TEST(LayeredOsd, DisplayChangeReachesTheCore) {
    std::atomic<int> heard{0};
    std::atomic<DWORD> thread{0};
    LayeredOsd osd;
    osd.prepare([&] {
        thread = GetCurrentThreadId();
        ++heard;
    });
    HWND hwnd = hwndOf(osd);
    ASSERT_NE(hwnd, nullptr);
    SendMessageW(hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(thread, GetWindowThreadProcessId(hwnd, nullptr));
    SendMessageW(hwnd, WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(heard, 1);
}

}  // namespace
