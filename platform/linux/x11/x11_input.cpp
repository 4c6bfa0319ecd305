#include "platform/linux/x11/x11_input.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <string>

#include "platform/keysyms.h"

namespace platform::linux_adapter {

namespace {

// Hot keys fire whatever the lock keys are: grab each combination of Caps Lock and Num Lock.
constexpr unsigned kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

}  // namespace

X11Input::~X11Input() {
    if (handler_) x_->removeEventHandler(handler_);
    if (reconnectHandler_) x_->removeEventHandler(reconnectHandler_);
}

void X11Input::start(std::function<void(std::function<void()>)> runOnGui,
                     std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) {
    {
        std::lock_guard l(m_);
        runOnGui_ = std::move(runOnGui);
        hotKey_ = std::move(hotKey);
    }
    selectRawEvents();
    handler_ = x_->addEventHandler([this](const XEvent& ev) { onEvent(ev); });
    reconnectHandler_ = x_->addReconnectHandler([this] { onReconnect(); });

    x_->startEvents();
}

void X11Input::selectRawEvents() {
    auto s = x_->session();
    if (!s) return;
    int opcode = -1, event = 0, error = 0;
    // Raw events reach every client that asked only from version 2.1 on; before, a grab
    // (our own hot-key grab included) kept them from us.
    int major = 2, minor = 2;
    if (XQueryExtension(s.display(), "XInputExtension", &opcode, &event, &error) &&
        XIQueryVersion(s.display(), &major, &minor) == Success) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XISetMask(bits, XI_RawMotion);
        XISelectEvents(s.display(), s.root(), &mask, 1);
        XFlush(s.display());
        xiOpcode_ = opcode;
    } else {
        xiOpcode_ = -1;
        std::fprintf(stderr, "veskosd: no XInput2: input activity is not seen\n");
    }
}

// The new server's keymap may differ: the keys are looked up again, grabbed again, and what
// was held down on the old one is up.
void X11Input::onReconnect() {
    selectRawEvents();
    std::vector<std::pair<uint32_t, uint32_t>> registered;
    std::function<void(std::function<void()>)> run;
    bool blocking = false;
    {
        std::lock_guard l(m_);
        hotKeys_.clear();
        registered = registered_;
        run = runOnGui_;
        blocking = blocking_;
    }
    for (const auto& [id, vk] : registered) {
        const unsigned code = keycode(vk);
        if (code == 0 || !grab(code)) continue;
        std::lock_guard l(m_);
        hotKeys_[code] = {id, vk};
    }
    if (blocking) grabInput(true);
    if (run) run([this] { down_.clear(); });
}

uint32_t X11Input::virtualKey(unsigned code) {
    auto s = x_->session();
    if (!s) return 0;
    const KeySym sym = XkbKeycodeToKeysym(s.display(), static_cast<KeyCode>(code), 0, 0);
    const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym);
    return name ? virtualKeyFromKeysymName(name) : 0;
}

unsigned X11Input::keycode(uint32_t vk) {
    const std::string name = keysymNameFromVirtualKey(vk);
    if (name.empty()) return 0;
    auto s = x_->session();
    if (!s) return 0;
    const KeySym sym = XStringToKeysym(name.c_str());
    return sym == NoSymbol ? 0 : XKeysymToKeycode(s.display(), sym);
}

bool X11Input::grab(unsigned code) {
    x_->trapErrors();
    {
        auto s = x_->session();
        if (!s) return false;
        for (unsigned mods : kLockVariants) {
            XGrabKey(s.display(), static_cast<int>(code), mods, s.root(), False, GrabModeAsync,
                     GrabModeAsync);
        }
    }
    if (!x_->untrapErrors()) return true;
    // Another client holds the key: it is simply not ours.
    auto s = x_->session();
    if (!s) return false;
    for (unsigned mods : kLockVariants) {
        XUngrabKey(s.display(), static_cast<int>(code), mods, s.root());
    }
    XFlush(s.display());
    return false;
}

bool X11Input::registerHotKey(uint32_t id, uint32_t, uint32_t vk) {
    {
        std::lock_guard g(m_);
        registered_.emplace_back(id, vk);
    }
    const unsigned code = keycode(vk);
    if (code == 0 || !grab(code)) return false;
    std::lock_guard g(m_);
    hotKeys_[code] = {id, vk};
    return true;
}

void X11Input::installHooks(KeyboardHook keyboard, MouseHook mouse) {
    std::lock_guard l(m_);
    keyboard_ = std::move(keyboard);
    mouse_ = std::move(mouse);
}

void X11Input::setBlocking(bool blocking) {
    {
        std::lock_guard g(m_);
        if (blocking_ == blocking) return;
        blocking_ = blocking;
    }
    grabInput(blocking);
}

void X11Input::grabInput(bool blocking) {
    auto s = x_->session();
    if (!s) return;
    Display* d = s.display();
    if (blocking) {
        const int kb = XGrabKeyboard(d, s.root(), False, GrabModeAsync, GrabModeAsync, CurrentTime);
        const int ptr = XGrabPointer(d, s.root(), False,
                                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (kb != GrabSuccess || ptr != GrabSuccess) {
            std::fprintf(stderr, "veskosd: could not take the keyboard (%d) or pointer (%d)\n", kb,
                         ptr);
        }
    } else {
        XUngrabKeyboard(d, CurrentTime);
        XUngrabPointer(d, CurrentTime);
    }
    XFlush(d);
}

bool X11Input::keyDown(uint32_t vk) {
    if (vk == VK_CONTROL) return down_.count(VK_LCONTROL) || down_.count(VK_RCONTROL);
    return down_.count(vk) != 0;
}

void X11Input::injectKey(uint32_t vk, bool up) {
    const unsigned code = keycode(vk);
    if (code == 0) return;
    auto s = x_->session();
    if (!s) return;
    XTestFakeKeyEvent(s.display(), code, up ? False : True, CurrentTime);
    XFlush(s.display());
}

void X11Input::keyEvent(unsigned code, bool up, bool grabbed) {
    const uint32_t vk = virtualKey(code);
    std::function<void(std::function<void()>)> run;
    {
        std::lock_guard l(m_);
        run = runOnGui_;
    }
    if (!run) return;
    run([this, vk, code, up, grabbed] {
        if (up) {
            down_.erase(vk);
        } else {
            down_.insert(vk);
        }
        KeyboardHook hook;
        std::function<void(uint32_t, uint32_t, uint32_t)> hotKey;
        std::pair<uint32_t, uint32_t> registered{0, 0};
        {
            std::lock_guard l(m_);
            hook = keyboard_;
            hotKey = hotKey_;
            if (auto it = hotKeys_.find(code); it != hotKeys_.end()) registered = it->second;
        }
        KBDLLHOOKSTRUCT k;
        k.vkCode = vk;
        k.scanCode = code;
        const base::LRESULT r = hook ? hook(0, up ? WM_KEYUP : WM_KEYDOWN, k) : 0;
        // Under the blocking grab a hot key reaches us only through the hook: passed on, it
        // fires as it would have from its own grab.
        if (grabbed && r == 0 && !up && registered.first != 0 && hotKey) {
            hotKey(registered.first, 0, registered.second);
        }
    });
}

void X11Input::mouseEvent(uint32_t message) {
    std::function<void(std::function<void()>)> run;
    {
        std::lock_guard l(m_);
        run = runOnGui_;
    }
    if (!run) return;
    run([this, message] {
        MouseHook hook;
        {
            std::lock_guard l(m_);
            hook = mouse_;
        }
        if (hook) hook(0, message, MSLLHOOKSTRUCT{});
    });
}

void X11Input::onEvent(const XEvent& ev) {
    bool blocking;
    std::pair<uint32_t, uint32_t> registered{0, 0};
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey;
    {
        std::lock_guard l(m_);
        blocking = blocking_;
        if (ev.type == KeyPress) {
            if (auto it = hotKeys_.find(ev.xkey.keycode); it != hotKeys_.end()) {
                registered = it->second;
            }
        }
        hotKey = hotKey_;
    }
    if (ev.type == GenericEvent && ev.xcookie.extension == xiOpcode_) {
        // While blocking, the grab delivers the same input as core events; take it from there.
        if (blocking) return;
        if (!ev.xcookie.data) return;
        const int evtype = ev.xcookie.evtype;
        const auto detail =
            static_cast<unsigned>(static_cast<const XIRawEvent*>(ev.xcookie.data)->detail);
        // The hot keys' own grab delivers them as core events; those feed the hooks.
        bool hotKeyCode;
        {
            std::lock_guard l(m_);
            hotKeyCode = hotKeys_.count(detail) != 0;
        }
        switch (evtype) {
            case XI_RawKeyPress:
                if (!hotKeyCode) keyEvent(detail, false, false);
                break;
            case XI_RawKeyRelease:
                if (!hotKeyCode) keyEvent(detail, true, false);
                break;

            case XI_RawButtonPress:
                mouseEvent(WM_LBUTTONDOWN);
                break;
            case XI_RawButtonRelease:
                mouseEvent(WM_LBUTTONUP);
                break;
            case XI_RawMotion:
                mouseEvent(WM_MOUSEMOVE);
                break;
            default:
                break;
        }
        return;
    }
    if (ev.type == KeyPress || ev.type == KeyRelease) {
        if (blocking) {
            keyEvent(ev.xkey.keycode, ev.type == KeyRelease, true);
            return;
        }
        bool hotKeyCode;
        {
            std::lock_guard l(m_);
            hotKeyCode = hotKeys_.count(ev.xkey.keycode) != 0;
        }
        if (!hotKeyCode) return;
        // The hooks see the key before its hot key fires, as they would see any input.
        keyEvent(ev.xkey.keycode, ev.type == KeyRelease, false);
        if (ev.type == KeyPress && registered.first != 0 && hotKey) {
            hotKey(registered.first, 0, registered.second);
        }

    } else if (blocking && (ev.type == ButtonPress || ev.type == ButtonRelease)) {
        mouseEvent(ev.type == ButtonPress ? WM_LBUTTONDOWN : WM_LBUTTONUP);
    } else if (blocking && ev.type == MotionNotify) {
        mouseEvent(WM_MOUSEMOVE);
    }
}

}  // namespace platform::linux_adapter
