#include "platform/win32/osd/layered_osd.h"

#include <windows.h>

#include <cstdio>
#include <future>
#include <utility>
#include <vector>

namespace platform::win32 {

namespace {

constexpr wchar_t kClassName[] = L"VESKOSD OSD";
// Not "VESKOSD": that title is the main window's, which other processes look for.
constexpr wchar_t kTitle[] = L"VESKOSD OSD";
// Asks the window's thread to repaint at once.
constexpr UINT kRepaint = WM_APP + 1;
// The taskbar of a desktop that has none, so the bar still lands above the bottom edge.
constexpr int kDefaultTaskbarHeight = 40;

HWND hwndOf(void* handle) {
    return static_cast<HWND>(handle);
}

Rect rectOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

LRESULT CALLBACK osdProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_NCCREATE's lParam is its CREATESTRUCTW
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's user word holds its surface
    auto* osd = reinterpret_cast<LayeredOsd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_NCPAINT:
            if (HDC dc = GetWindowDC(hwnd)) {
                if (osd) osd->paintWindow(dc, true);
                ReleaseDC(hwnd, dc);
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (HDC dc = BeginPaint(hwnd, &ps)) {
                if (osd) osd->paintWindow(dc, false);
                EndPaint(hwnd, &ps);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case kRepaint:
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
            return 0;
        case WM_DISPLAYCHANGE:
            if (osd) osd->notifyDisplayChanged();
            return 0;
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = osdProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    return registered;
}

// Draws a top-down image whole at (0, 0).
void drawImage(HDC dc, const Pixels& image) {
    if (image.width <= 0 || image.height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(image.width), static_cast<DWORD>(image.height),
                      0, 0, 0, static_cast<UINT>(image.height), image.argb.data(), &info,
                      DIB_RGB_COLORS);
}

Pixels inner(const Pixels& outer) {
    Pixels p;
    if (outer.width <= 2 || outer.height <= 2) return p;
    p.width = outer.width - 2;
    p.height = outer.height - 2;
    p.argb.reserve(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    for (int y = 1; y <= p.height; ++y) {
        const auto row = outer.argb.begin() + static_cast<std::ptrdiff_t>(outer.index(1, y));
        p.argb.insert(p.argb.end(), row, row + p.width);
    }
    return p;
}

}  // namespace

LayeredOsd::~LayeredOsd() {
    if (HWND hwnd = hwndOf(hwnd_.load())) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
}

void LayeredOsd::prepare(std::function<void()> displayChanged) {
    {
        std::lock_guard g(m_);
        displayChanged_ = std::move(displayChanged);
    }
    if (!hwnd_.load() && !thread_.joinable() && registerClass()) {
        std::promise<HWND> created;
        auto made = created.get_future();
        // The promise goes with the thread: it is still in use as this call wakes.
        thread_ = std::thread([this, created = std::move(created)]() mutable {
            HWND hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TRANSPARENT |
                                            WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                        kClassName, kTitle, WS_POPUP | WS_BORDER, 0, 0, 1, 1,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), this);
            // A layered window shows nothing until its attributes are set.
            if (hwnd) SetLayeredWindowAttributes(hwnd, 0, 0, LWA_ALPHA);
            const DWORD error = hwnd ? 0 : GetLastError();
            created.set_value(hwnd);
            if (!hwnd) {
                std::fprintf(stderr, "veskosd: the OSD window: error %lu\n", error);
                return;
            }
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        });
        HWND hwnd = made.get();
        hwnd_ = hwnd;
        if (hwnd) {
            std::lock_guard g(m_);
            if (rect_.width() > 0 && rect_.height() > 0) {
                SetWindowPos(hwnd, HWND_TOPMOST, rect_.left, rect_.top, rect_.width(),
                             rect_.height(), SWP_NOACTIVATE);
            }
        }
    }
    setAlpha(0);
}

void LayeredOsd::setAlpha(uint8_t alpha) {
    std::lock_guard g(alphaMutex_);
    alpha_ = alpha;
    HWND hwnd = hwndOf(hwnd_.load());
    if (!hwnd) return;
    SetLayeredWindowAttributes(hwnd, 0, alpha, LWA_ALPHA);
    if (alpha == 0 && shown_) {
        ShowWindow(hwnd, SW_HIDE);
        shown_ = false;
    } else if (alpha != 0 && !shown_) {
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        shown_ = true;
    }
}

void LayeredOsd::raise() {
    if (HWND hwnd = hwndOf(hwnd_.load())) {
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void LayeredOsd::move(int x, int y, int width, int height) {
    {
        std::lock_guard g(m_);
        rect_ = {x, y, x + width, y + height};
    }
    HWND hwnd = hwndOf(hwnd_.load());
    if (hwnd && width > 0 && height > 0) {
        SetWindowPos(hwnd, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE);
    }
}

Rect LayeredOsd::windowRect() const {
    RECT r;
    if (HWND hwnd = hwndOf(hwnd_.load()); hwnd && GetWindowRect(hwnd, &r)) return rectOf(r);
    std::lock_guard g(m_);
    return rect_;
}

Rect LayeredOsd::clientRect() const {
    RECT r;
    if (HWND hwnd = hwndOf(hwnd_.load()); hwnd && GetClientRect(hwnd, &r)) return rectOf(r);
    std::lock_guard g(m_);
    return {0, 0, rect_.width() > 2 ? rect_.width() - 2 : 0,
            rect_.height() > 2 ? rect_.height() - 2 : 0};
}

Rect LayeredOsd::primaryMonitor() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (monitor && GetMonitorInfoW(monitor, &info)) return rectOf(info.rcMonitor);
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool LayeredOsd::taskbarRect(Rect& rect) {
    RECT r;
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    const bool found = tray && GetWindowRect(tray, &r) && r.right > r.left && r.bottom > r.top;
    const Rect monitor = found ? Rect{} : primaryMonitor();
    std::lock_guard g(m_);
    if (found) {
        taskbarSeen_ = true;
        rect = rectOf(r);
        return true;
    }
    // A taskbar that went away leaves the last one in force; a desktop that never had one gets
    // the default strip at the bottom of the primary monitor.
    if (taskbarSeen_) return false;
    rect = {monitor.left, monitor.bottom - kDefaultTaskbarHeight, monitor.right, monitor.bottom};
    return true;
}

void LayeredOsd::present(const Pixels& client) {
    const Rect outer = windowRect();
    {
        std::lock_guard g(m_);
        composed_ = composeWindowImage(client, outer.width(), outer.height());
    }
    // Painted by the window's own thread before this returns, so that a reveal that follows
    // shows this frame.
    if (HWND hwnd = hwndOf(hwnd_.load())) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd, kRepaint, 0, 0, SMTO_NORMAL, 2000, &result);
    }
}

Pixels LayeredOsd::screenshot() const {
    std::lock_guard g(m_);
    return applyAlpha(composed_, alpha_);
}

void LayeredOsd::paintWindow(void* hdc, bool wholeWindow) {
    std::lock_guard g(m_);
    auto* dc = static_cast<HDC>(hdc);
    if (wholeWindow) {
        drawImage(dc, composed_);
    } else {
        drawImage(dc, inner(composed_));
    }
}

void LayeredOsd::notifyDisplayChanged() {
    std::function<void()> notify;
    {
        std::lock_guard g(m_);
        notify = displayChanged_;
    }
    if (notify) notify();
}

}  // namespace platform::win32
