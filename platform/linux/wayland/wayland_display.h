// One connection to the Wayland compositor, shared by the Wayland adapters, with the globals
// they use. Every request is made under lock(); one thread reads the events and dispatches them
// under the same lock. Nothing here waits on the compositor while the lock is held, so a
// compositor that hangs or goes away never stalls the GUI thread: after a loss the thread
// connects again (250 ms, doubling to 2 s) and the users make their objects anew.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct zwlr_layer_shell_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwp_virtual_keyboard_manager_v1;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;

namespace platform::linux_adapter {

struct WaylandGlobals;

struct WaylandOutput {
    WaylandGlobals* globals = nullptr;
    uint32_t globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    std::string name;
    int scale = 1;
    int modeWidth = 0, modeHeight = 0;
    int logicalWidth = 0, logicalHeight = 0;  // from xdg-output; 0 until told
    // Logical size: as xdg-output tells it, else the mode divided by the scale.
    int width() const { return logicalWidth > 0 ? logicalWidth : modeWidth / scale; }
    int height() const { return logicalHeight > 0 ? logicalHeight : modeHeight / scale; }
};

// What the compositor offers; objects valid while the connection lasts.
struct WaylandGlobals {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    zxdg_output_manager_v1* xdgOutputs = nullptr;
    zwp_virtual_keyboard_manager_v1* virtualKeyboards = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalScales = nullptr;
    std::vector<std::unique_ptr<WaylandOutput>> outputs;
    bool keyboard = false;        // the seat has a keyboard
    bool outputsChanged = false;  // set by the listeners, taken by the event thread
    bool seatChanged = false;
};

class WaylandDisplay {
public:
    // A user of the connection. Every call comes with lock() held, on the event thread.
    class Client {
    public:
        virtual ~Client() = default;
        // The connection is gone: forget (or destroy) every object made on it.
        virtual void connectionLost() = 0;
        // Outputs came or went, or a new connection is there.
        virtual void outputsChanged() = 0;
        // The seat gained or lost its keyboard.
        virtual void seatChanged() {}
    };

    // Null, with the reason in `error`, when no compositor answers within 2 s. `name` as
    // WAYLAND_DISPLAY (a name in XDG_RUNTIME_DIR or an absolute path); empty: the default.
    static std::shared_ptr<WaylandDisplay> open(const std::string& name, std::string& error);
    ~WaylandDisplay();
    WaylandDisplay(const WaylandDisplay&) = delete;
    WaylandDisplay& operator=(const WaylandDisplay&) = delete;

    std::unique_lock<std::mutex> lock() { return std::unique_lock(m_); }
    // Under lock(): the globals, null while there is no compositor.
    WaylandGlobals* globals() { return globals_.get(); }
    // Under lock(): sends what was asked; a full socket is flushed later by the event thread.
    void flush();
    // Whether the compositor offered layer-shell when the connection was opened.
    bool hasLayerShell() const { return hasLayerShell_; }

    void addClient(Client* c);
    void removeClient(Client* c);
    // Runs `f` on the event thread after the next dispatch, without the lock: for callbacks into
    // the core.
    void later(std::function<void()> f);
    // Starts the event thread (once).
    void start();

private:
    explicit WaylandDisplay(std::string name) : name_(std::move(name)) {}
    static std::unique_ptr<WaylandGlobals> connect(const std::string& name, std::string& error);
    void run();
    void lose();
    void wake();

    std::string name_;
    std::mutex m_;
    std::unique_ptr<WaylandGlobals> globals_;
    std::vector<Client*> clients_;
    std::vector<std::function<void()>> later_;
    bool hasLayerShell_ = false;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> wantWrite_{false};
    std::once_flag started_;
    std::thread thread_;
};

}  // namespace platform::linux_adapter
