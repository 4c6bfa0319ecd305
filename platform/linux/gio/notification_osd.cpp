#include "platform/linux/gio/notification_osd.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/headless_osd.h"
#include "platform/linux/gio/bus_thread.h"

namespace platform::linux_adapter {

namespace {

// About as long as the bar stays: a second's hold and the fade.
constexpr int kExpireMs = 3000;
// A notification server that does not answer holds back only the notices after this one.
constexpr int kCallTimeoutMs = 2000;

const char* iconName(const OsdContent& c) {
    if (c.kind == OsdContent::Kind::Brightness) return "display-brightness-symbolic";
    if (c.muted) return "audio-volume-muted";
    if (c.level <= 33) return "audio-volume-low";
    if (c.level <= 66) return "audio-volume-medium";
    return "audio-volume-high";
}

GVariant* notifyArguments(const OsdContent& c, uint32_t replaces) {
    const bool volume = c.kind == OsdContent::Kind::Volume;
    const std::string body = volume && c.muted ? "Muted" : std::to_string(c.level) + " %";
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "value", g_variant_new_int32(c.level));
    // The stack tags shells use to replace an OSD-like notice in place rather than queue it.
    g_variant_builder_add(&hints, "{sv}", "x-canonical-private-synchronous",
                          g_variant_new_string("veskosd"));
    g_variant_builder_add(&hints, "{sv}", "x-dunst-stack-tag", g_variant_new_string("veskosd"));
    g_variant_builder_add(&hints, "{sv}", "synchronous", g_variant_new_string("veskosd"));
    g_variant_builder_add(&hints, "{sv}", "category", g_variant_new_string("device"));
    // Kept out of the notification history, and never louder than low urgency.
    g_variant_builder_add(&hints, "{sv}", "transient", g_variant_new_boolean(TRUE));
    g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(0));
    return g_variant_new("(susssasa{sv}i)", "veskosd", replaces, iconName(c),
                         volume ? "Volume" : "Brightness", body.c_str(), nullptr, &hints,
                         kExpireMs);
}

// Lives on the bus thread: one Notify in flight at a time, so each one can name the notice it
// replaces; shows that come meanwhile are folded into the latest.
class Notifier : public std::enable_shared_from_this<Notifier> {
public:
    void show(const OsdContent& content) {
        pending_ = content;
        if (!inFlight_) sendPending();
    }

private:
    void sendPending() {
        std::string error;
        GDBusConnection* bus = BusThread::shared().connection(error);
        if (!bus) {
            pending_.reset();
            fail(error);
            return;
        }
        const OsdContent c = *pending_;
        pending_.reset();
        inFlight_ = true;
        g_dbus_connection_call(bus, "org.freedesktop.Notifications",
                               "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                               "Notify", notifyArguments(c, id_), G_VARIANT_TYPE("(u)"),
                               G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &Notifier::onReply,
                               new std::shared_ptr<Notifier>(shared_from_this()));
    }

    static void onReply(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<Notifier>> held(
            static_cast<std::shared_ptr<Notifier>*>(data));
        Notifier& self = **held;
        GError* e = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &e);
        self.inFlight_ = false;
        if (reply) {
            g_variant_get(reply, "(u)", &self.id_);
            g_variant_unref(reply);
            self.failing_ = false;
        } else {
            self.fail(e ? e->message : "no answer");
            g_clear_error(&e);
        }
        if (self.pending_) self.sendPending();
    }

    // One line for a run of failures, so a desktop without notifications does not fill the log.
    void fail(const std::string& why) {
        if (!failing_) std::fprintf(stderr, "veskosd: desktop notification: %s\n", why.c_str());
        failing_ = true;
    }

    std::optional<OsdContent> pending_;
    bool inFlight_ = false;
    bool failing_ = false;
    uint32_t id_ = 0;
};

class NotificationOsd final : public OsdSurface {
public:
    void prepare(std::function<void()> displayChanged) override {
        frames_.prepare(std::move(displayChanged));
    }
    // A show raises the alpha (or sets it again while shown); the fade only lowers it.
    void setAlpha(uint8_t alpha) override {
        const uint8_t before = frames_.alpha();
        frames_.setAlpha(alpha);
        if (alpha == 0 || alpha < before) return;
        OsdContent c;
        {
            std::lock_guard lock(m_);
            c = content_;
        }
        if (c.kind == OsdContent::Kind::Nothing) return;
        BusThread::shared().post([n = notifier_, c] { n->show(c); });
    }
    uint8_t alpha() const override { return frames_.alpha(); }
    void raise() override {}
    void move(int x, int y, int width, int height) override { frames_.move(x, y, width, height); }
    Rect windowRect() const override { return frames_.windowRect(); }
    Rect clientRect() const override { return frames_.clientRect(); }
    Rect primaryMonitor() override { return frames_.primaryMonitor(); }
    bool taskbarRect(Rect& rect) override { return frames_.taskbarRect(rect); }
    void present(const Pixels& client) override { frames_.present(client); }
    void describe(const OsdContent& content) override {
        std::lock_guard lock(m_);
        content_ = content;
    }
    Pixels screenshot() const override { return frames_.screenshot(); }

private:
    HeadlessOsd frames_;
    std::mutex m_;
    OsdContent content_;
    std::shared_ptr<Notifier> notifier_ = std::make_shared<Notifier>();
};

}  // namespace

std::unique_ptr<OsdSurface> makeNotificationOsd() {
    return std::make_unique<NotificationOsd>();
}

}  // namespace platform::linux_adapter
