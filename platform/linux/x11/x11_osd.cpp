#include "platform/linux/x11/x11_osd.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

#include <cstring>
#include <string>

namespace platform::linux_adapter {

namespace {

// The dock strip of a desktop that has none, so the bar still lands above the bottom edge.
constexpr int kDefaultDockHeight = 40;

bool isDock(Display* d, ::Window w) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom typeAtom = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    const Atom dock = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    bool result = false;
    if (XGetWindowProperty(d, w, typeAtom, 0, 32, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) result = result || atoms[i] == dock;
    }
    if (data) XFree(data);
    return result;
}

// The rectangle of the primary output's CRTC where RandR names one; the whole screen otherwise.
Rect primaryMonitorOf(Display* d, ::Window root, bool randr) {
    Rect r{0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
    if (!randr) return r;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
    if (!res) return r;
    const RROutput primary = XRRGetOutputPrimary(d, root);
    if (primary != None) {
        if (XRROutputInfo* out = XRRGetOutputInfo(d, res, primary)) {
            if (out->crtc != None) {
                if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, out->crtc)) {
                    if (crtc->width > 0 && crtc->height > 0) {
                        r = {crtc->x, crtc->y, crtc->x + static_cast<int>(crtc->width),
                             crtc->y + static_cast<int>(crtc->height)};
                    }
                    XRRFreeCrtcInfo(crtc);
                }
            }
            XRRFreeOutputInfo(out);
        }
    }
    XRRFreeScreenResources(res);
    return r;
}

// Looked up on the display at hand: a Visual belongs to the display it came from, which is
// freed once its server is lost.
Visual* visualOf(Display* d, VisualID id) {
    XVisualInfo want{};
    want.visualid = id;
    int count = 0;
    XVisualInfo* found = XGetVisualInfo(d, VisualIDMask, &want, &count);
    Visual* visual = found && count > 0 ? found->visual : nullptr;
    if (found) XFree(found);
    return visual;
}

}  // namespace

X11Osd::X11Osd(std::shared_ptr<X11Connection> x) : x_(std::move(x)) {}

X11Osd::~X11Osd() {
    if (handler_) x_->removeEventHandler(handler_);
    if (reconnectHandler_) x_->removeEventHandler(reconnectHandler_);
    auto s = x_->session();
    if (!s) return;
    std::lock_guard g(m_);
    if (win_) XDestroyWindow(s.display(), win_);
    XFlush(s.display());
}

void X11Osd::prepare(std::function<void()> displayChanged) {
    {
        std::lock_guard g(m_);
        displayChanged_ = std::move(displayChanged);
    }
    {
        auto s = x_->session();
        if (s) createWindow(s);
    }
    handler_ = x_->addEventHandler([this](const XEvent& ev) { onEvent(ev); });
    reconnectHandler_ = x_->addReconnectHandler([this] { onReconnect(); });

    x_->startEvents();
    setAlpha(0);
}

// The window and its visual on the server the session talks to; the old ones, if any, went with
// their server.
void X11Osd::createWindow(const X11Connection::Session& s) {
    Display* d = s.display();
    std::lock_guard g(m_);
    const int screen = DefaultScreen(d);
    XVisualInfo vi;
    XSetWindowAttributes attrs{};
    unsigned long mask = CWOverrideRedirect | CWBackPixel | CWBorderPixel;
    Visual* visual = nullptr;
    if (XMatchVisualInfo(d, screen, 32, TrueColor, &vi)) {
        visual = vi.visual;
        depth_ = 32;
        attrs.colormap = XCreateColormap(d, s.root(), visual, AllocNone);
        mask |= CWColormap;
    } else {
        visual = DefaultVisual(d, screen);
        depth_ = DefaultDepth(d, screen);
    }
    visualId_ = XVisualIDFromVisual(visual);
    attrs.override_redirect = True;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    win_ = XCreateWindow(d, s.root(), 0, 0, 1, 1, 0, depth_, InputOutput, visual, mask, &attrs);
    mapped_ = false;
    XStoreName(d, win_, "VESKOSD");
    opacityAtom_ = XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False);
    const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    const Atom notification = XInternAtom(d, "_NET_WM_WINDOW_TYPE_NOTIFICATION", False);
    XChangeProperty(d, win_, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&notification), 1);
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom above = XInternAtom(d, "_NET_WM_STATE_ABOVE", False);
    XChangeProperty(d, win_, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&above), 1);
    // Click-through: an empty input region lets the pointer reach whatever lies below.
    int shapeEvent = 0, shapeError = 0;
    if (XShapeQueryExtension(d, &shapeEvent, &shapeError)) {
        XShapeCombineRectangles(d, win_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
    XSelectInput(d, win_, ExposureMask);
    int randrEventBase = -1, randrError = 0;
    if (XRRQueryExtension(d, &randrEventBase, &randrError)) {
        XRRSelectInput(d, s.root(), RRScreenChangeNotifyMask);
        randrEventBase_ = randrEventBase;
    } else {
        randrEventBase_ = -1;
    }
    if (rect_.width() > 0 && rect_.height() > 0) {
        XMoveResizeWindow(d, win_, rect_.left, rect_.top, static_cast<unsigned>(rect_.width()),
                          static_cast<unsigned>(rect_.height()));
    }
    XFlush(d);
}

// A new server is a new screen: the window is made again as it was, and the core hears of a
// display change, which places it anew.
void X11Osd::onReconnect() {
    std::function<void()> notify;
    {
        auto s = x_->session();
        if (!s) return;
        createWindow(s);
        std::lock_guard g(m_);
        applyAlphaLocked(s.display());
        notify = displayChanged_;
    }
    if (notify) notify();
}

// The alpha is recorded and shown under both locks, so whichever caller comes last leaves the
// recorded alpha and the window's state agreeing.
void X11Osd::setAlpha(uint8_t alpha) {
    auto s = x_->session();
    std::lock_guard g(m_);
    alpha_ = alpha;
    if (s) applyAlphaLocked(s.display());
}

void X11Osd::applyAlphaLocked(Display* d) {
    if (!win_) return;
    const uint8_t alpha = alpha_;
    // Set whether or not a compositor runs now: asking would cost a round trip each step, and
    // one that starts later finds the window's alpha already there.
    const unsigned long opacity = static_cast<unsigned long>(alpha) * 0xFFFFFFFFul / 255ul;
    XChangeProperty(d, win_, opacityAtom_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&opacity), 1);
    if (alpha == 0 && mapped_) {
        XUnmapWindow(d, win_);
        mapped_ = false;
    } else if (alpha != 0 && !mapped_) {
        XMapRaised(d, win_);
        mapped_ = true;
        paintLocked(d);
    }
    XFlush(d);
}

void X11Osd::raise() {
    auto s = x_->session();
    if (!s) return;
    std::lock_guard g(m_);
    if (win_) XRaiseWindow(s.display(), win_);
    XFlush(s.display());
}

void X11Osd::move(int x, int y, int width, int height) {
    auto s = x_->session();
    std::lock_guard g(m_);
    rect_ = {x, y, x + width, y + height};
    if (s && win_ && width > 0 && height > 0) {
        XMoveResizeWindow(s.display(), win_, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        XFlush(s.display());
    }
}

Rect X11Osd::windowRect() const {
    std::lock_guard g(m_);
    return rect_;
}

Rect X11Osd::clientRect() const {
    std::lock_guard g(m_);
    return {0, 0, rect_.width() > 2 ? rect_.width() - 2 : 0,
            rect_.height() > 2 ? rect_.height() - 2 : 0};
}

Rect X11Osd::primaryMonitor() {
    auto s = x_->session();
    if (!s) return {};
    return primaryMonitorOf(s.display(), s.root(), randrEventBase_ >= 0);
}

bool X11Osd::taskbarRect(Rect& rect) {
    auto s = x_->session();
    if (!s) return false;
    Display* d = s.display();
    ::Window rootRet = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool found = false;
    if (XQueryTree(d, s.root(), &rootRet, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            if (!isDock(d, children[i])) continue;
            XWindowAttributes a;
            if (!XGetWindowAttributes(d, children[i], &a)) continue;
            rect = {a.x, a.y, a.x + a.width + 2 * a.border_width,
                    a.y + a.height + 2 * a.border_width};
            found = true;
        }
        if (children) XFree(children);
    }
    const Rect monitor = found ? Rect{} : primaryMonitorOf(d, s.root(), randrEventBase_ >= 0);
    std::lock_guard g(m_);
    if (found) {
        dockSeen_ = true;
        return true;
    }
    // A dock that went away leaves the last one in force; a desktop that never had one gets
    // the default strip at the bottom of the primary monitor.
    if (dockSeen_) return false;
    rect = {monitor.left, monitor.bottom - kDefaultDockHeight, monitor.right, monitor.bottom};
    return true;
}

void X11Osd::present(const Pixels& client) {
    auto s = x_->session();
    std::lock_guard g(m_);
    composed_ = composeWindowImage(client, rect_.width(), rect_.height());
    if (!s) return;
    paintLocked(s.display());
    XFlush(s.display());
}

void X11Osd::paintLocked(Display* d) {
    if (!win_ || !mapped_ || composed_.argb.empty()) return;
    Visual* visual = visualOf(d, visualId_);
    if (!visual) return;
    XImage* image = XCreateImage(d, visual, static_cast<unsigned>(depth_), ZPixmap, 0,
                                 reinterpret_cast<char*>(composed_.argb.data()),
                                 static_cast<unsigned>(composed_.width),
                                 static_cast<unsigned>(composed_.height), 32, composed_.width * 4);
    if (!image) return;
    // Made for each picture rather than kept: a kept GC could not be freed once its display
    // is closed after a lost server.
    GC gc = XCreateGC(d, win_, 0, nullptr);
    XPutImage(d, win_, gc, image, 0, 0, 0, 0, static_cast<unsigned>(composed_.width),
              static_cast<unsigned>(composed_.height));
    XFreeGC(d, gc);
    image->data = nullptr;  // ours, not Xlib's to free
    XDestroyImage(image);
}

Pixels X11Osd::screenshot() const {
    std::lock_guard g(m_);
    return applyAlpha(composed_, alpha_);
}

void X11Osd::onEvent(const XEvent& ev) {
    const int randrBase = randrEventBase_;
    if (ev.type == Expose) {
        auto s = x_->session();
        if (!s) return;
        std::lock_guard g(m_);
        if (ev.xexpose.window != win_ || ev.xexpose.count != 0) return;
        paintLocked(s.display());
        XFlush(s.display());
    } else if (randrBase >= 0 && ev.type == randrBase + RRScreenChangeNotify) {
        {
            auto s = x_->session();
            if (!s) return;
            XEvent copy = ev;
            XRRUpdateConfiguration(&copy);
        }
        std::function<void()> notify;
        {
            std::lock_guard g(m_);
            notify = displayChanged_;
        }
        if (notify) notify();
    }
}

}  // namespace platform::linux_adapter
