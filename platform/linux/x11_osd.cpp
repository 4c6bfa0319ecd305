#include "platform/linux/x11_osd.h"

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

bool isDock(X11Connection& x, ::Window w) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom typeAtom = XInternAtom(x.display(), "_NET_WM_WINDOW_TYPE", False);
    const Atom dock = XInternAtom(x.display(), "_NET_WM_WINDOW_TYPE_DOCK", False);
    bool result = false;
    if (XGetWindowProperty(x.display(), w, typeAtom, 0, 32, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) result = result || atoms[i] == dock;
    }
    if (data) XFree(data);
    return result;
}

}  // namespace

X11Osd::X11Osd(std::shared_ptr<X11Connection> x) : x_(std::move(x)) {}

X11Osd::~X11Osd() {
    if (handler_) x_->removeEventHandler(handler_);
    if (!x_->alive()) return;

    auto l = x_->lock();
    if (gc_) XFreeGC(x_->display(), gc_);
    if (win_) XDestroyWindow(x_->display(), win_);
    XFlush(x_->display());
}

void X11Osd::prepare(std::function<void()> displayChanged) {
    {
        std::lock_guard g(m_);
        displayChanged_ = std::move(displayChanged);
    }
    auto l = x_->lock();
    Display* d = x_->display();
    const int screen = DefaultScreen(d);
    XVisualInfo vi;
    XSetWindowAttributes attrs{};
    unsigned long mask = CWOverrideRedirect | CWBackPixel | CWBorderPixel;
    if (XMatchVisualInfo(d, screen, 32, TrueColor, &vi)) {
        visual_ = vi.visual;
        depth_ = 32;
        attrs.colormap = XCreateColormap(d, x_->root(), visual_, AllocNone);
        mask |= CWColormap;
    } else {
        visual_ = DefaultVisual(d, screen);
        depth_ = DefaultDepth(d, screen);
    }
    attrs.override_redirect = True;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    win_ = XCreateWindow(d, x_->root(), 0, 0, 1, 1, 0, depth_, InputOutput, visual_, mask, &attrs);
    XStoreName(d, win_, "VESKOSD");
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
    int randrError = 0;
    if (XRRQueryExtension(d, &randrEventBase_, &randrError)) {
        XRRSelectInput(d, x_->root(), RRScreenChangeNotifyMask);
    }
    gc_ = XCreateGC(d, win_, 0, nullptr);
    XFlush(d);
    l.unlock();
    handler_ = x_->addEventHandler([this](const XEvent& ev) { onEvent(ev); });

    x_->startEvents();
    setAlpha(0);
}

bool X11Osd::compositorRunning() {
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(x_->display()));
    return XGetSelectionOwner(x_->display(), XInternAtom(x_->display(), name.c_str(), False)) !=
           None;
}

void X11Osd::setAlpha(uint8_t alpha) {
    alpha_ = alpha;
    if (!x_->alive()) return;
    auto l = x_->lock();
    std::lock_guard g(m_);
    if (!win_) return;
    Display* d = x_->display();
    if (compositorRunning()) {
        const unsigned long opacity = static_cast<unsigned long>(alpha) * 0xFFFFFFFFul / 255ul;
        XChangeProperty(d, win_, XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&opacity), 1);
    }
    if (alpha == 0 && mapped_) {
        XUnmapWindow(d, win_);
        mapped_ = false;
    } else if (alpha != 0 && !mapped_) {
        XMapRaised(d, win_);
        mapped_ = true;
        paintLocked();
    }
    XFlush(d);
}

void X11Osd::raise() {
    if (!x_->alive()) return;
    auto l = x_->lock();
    if (win_) XRaiseWindow(x_->display(), win_);
    XFlush(x_->display());
}

void X11Osd::move(int x, int y, int width, int height) {
    {
        std::lock_guard g(m_);
        rect_ = {x, y, x + width, y + height};
    }
    if (!x_->alive()) return;
    auto l = x_->lock();
    if (win_ && width > 0 && height > 0) {
        XMoveResizeWindow(x_->display(), win_, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        XFlush(x_->display());
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

void X11Osd::screenSize(int& width, int& height) {
    if (!x_->alive()) {
        width = height = 0;
        return;
    }
    auto l = x_->lock();
    Display* d = x_->display();
    width = DisplayWidth(d, DefaultScreen(d));
    height = DisplayHeight(d, DefaultScreen(d));
    // The primary output's size where RandR names one; the whole screen otherwise.
    if (randrEventBase_ < 0) return;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, x_->root());
    if (!res) return;
    const RROutput primary = XRRGetOutputPrimary(d, x_->root());
    if (primary != None) {
        if (XRROutputInfo* out = XRRGetOutputInfo(d, res, primary)) {
            if (out->crtc != None) {
                if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, out->crtc)) {
                    if (crtc->width > 0 && crtc->height > 0) {
                        width = static_cast<int>(crtc->width);
                        height = static_cast<int>(crtc->height);
                    }
                    XRRFreeCrtcInfo(crtc);
                }
            }
            XRRFreeOutputInfo(out);
        }
    }
    XRRFreeScreenResources(res);
}

bool X11Osd::taskbarRect(Rect& rect) {
    if (!x_->alive()) return false;
    auto l = x_->lock();
    Display* d = x_->display();
    ::Window rootRet = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool found = false;
    if (XQueryTree(d, x_->root(), &rootRet, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            if (!isDock(*x_, children[i])) continue;
            XWindowAttributes a;
            if (!XGetWindowAttributes(d, children[i], &a)) continue;
            rect = {a.x, a.y, a.x + a.width + 2 * a.border_width,
                    a.y + a.height + 2 * a.border_width};
            found = true;
        }
        if (children) XFree(children);
    }
    std::lock_guard g(m_);
    if (found) {
        dockSeen_ = true;
        return true;
    }
    // A dock that went away leaves the last one in force; a desktop that never had one gets
    // the default strip at the bottom.
    if (dockSeen_) return false;
    const int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    rect = {0, h - kDefaultDockHeight, w, h};
    return true;
}

void X11Osd::present(const Pixels& client) {
    if (!x_->alive()) return;
    auto l = x_->lock();
    std::lock_guard g(m_);
    composed_ = composeWindowImage(client, rect_.width(), rect_.height());
    paintLocked();
    XFlush(x_->display());
}

void X11Osd::paintLocked() {
    if (!win_ || !mapped_ || composed_.argb.empty()) return;
    XImage* image = XCreateImage(x_->display(), visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                                 reinterpret_cast<char*>(composed_.argb.data()),
                                 static_cast<unsigned>(composed_.width),
                                 static_cast<unsigned>(composed_.height), 32, composed_.width * 4);
    if (!image) return;
    XPutImage(x_->display(), win_, gc_, image, 0, 0, 0, 0, static_cast<unsigned>(composed_.width),
              static_cast<unsigned>(composed_.height));
    image->data = nullptr;  // ours, not Xlib's to free
    XDestroyImage(image);
}

Pixels X11Osd::screenshot() const {
    std::lock_guard g(m_);
    return applyAlpha(composed_, alpha_);
}

void X11Osd::onEvent(const XEvent& ev) {
    if (ev.type == Expose && ev.xexpose.window == win_ && ev.xexpose.count == 0) {
        auto l = x_->lock();
        std::lock_guard g(m_);
        paintLocked();
        XFlush(x_->display());
    } else if (randrEventBase_ >= 0 && ev.type == randrEventBase_ + RRScreenChangeNotify) {
        {
            auto l = x_->lock();
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
