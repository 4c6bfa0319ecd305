#include "platform/linux/gio/portal_shortcuts.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/linux/gio/bus_thread.h"

namespace platform::linux_adapter {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";
// The portal answers a request at once and the user later, through the Response signal.
constexpr int kCallTimeoutMs = 5000;

void say(const std::string& line) {
    std::fprintf(stderr, "veskosd: portal shortcuts: %s\n", line.c_str());
}

std::string errorText(GError* e) {
    std::string text = e ? e->message : "no answer";
    g_clear_error(&e);
    return text;
}

// Lives on the bus thread for as long as the daemon runs: the session's handle and the
// subscriptions that lead to it. A portal that ends and comes back (or comes only later) gets a
// new session with the same shortcuts, which the desktop knows confirmed.
class PortalSession : public std::enable_shared_from_this<PortalSession> {
public:
    PortalSession(std::vector<PortalShortcut> shortcuts,
                  std::function<void(const std::string&)> activated)
        : shortcuts_(std::move(shortcuts)), activated_(std::move(activated)) {}

    void start() {
        std::string error;
        bus_ = BusThread::shared().connection(error);
        if (!bus_) {
            say(error);
            return;
        }
        owner_ = g_dbus_connection_signal_subscribe(
            bus_, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", kPortal, G_DBUS_SIGNAL_FLAGS_NONE, &PortalSession::onOwner,
            hold(), &PortalSession::release);
        begin();
    }

private:
    using Step = void (PortalSession::*)(uint32_t response, GVariant* results);

    void begin() {
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token()));
        g_variant_builder_add(&options, "{sv}", "session_handle_token",
                              g_variant_new_string("veskosd"));
        request("CreateSession", g_variant_new("(a{sv})", &options), &PortalSession::onSession);
    }

    static void onOwner(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                        GVariant* parameters, gpointer data) {
        PortalSession& self = of(data);
        const gchar* now = nullptr;
        g_variant_get(parameters, "(&s&s&s)", nullptr, nullptr, &now);
        if (*now == '\0') {
            // Its sessions went with it.
            if (!self.session_.empty()) self.stop("the desktop portal went away");
            self.again_ = true;
        } else if (self.again_) {
            self.again_ = false;
            self.begin();
        }
    }

    // A fresh handle token per request, as the portal wants.
    const char* token() {
        token_ = "veskosd" + std::to_string(++requests_);
        return token_.c_str();
    }

    // The object path the portal gives the request with our handle token.
    std::string requestPath() const {
        std::string sender = g_dbus_connection_get_unique_name(bus_) + 1;
        for (char& c : sender) c = c == '.' ? '_' : c;
        return std::string(kPortalPath) + "/request/" + sender + "/" + token_;
    }

    // Calls `method` and hands the Response of its request to `step`. The answer is subscribed
    // to before the call, so it cannot come before we listen.
    void request(const char* method, GVariant* arguments, Step step) {
        step_ = step;
        calledPath_ = requestPath();
        listen(calledPath_);
        g_dbus_connection_call(bus_, kPortal, kPortalPath, kShortcuts, method, arguments,
                               G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                               nullptr, &PortalSession::onCalled, hold());
    }

    void listen(const std::string& path) {
        if (response_ != 0) g_dbus_connection_signal_unsubscribe(bus_, response_);
        listening_ = path;
        response_ = g_dbus_connection_signal_subscribe(
            bus_, kPortal, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &PortalSession::onResponse, hold(), &PortalSession::release);
    }

    gpointer hold() { return new std::shared_ptr<PortalSession>(shared_from_this()); }
    static void release(gpointer data) {
        delete static_cast<std::shared_ptr<PortalSession>*>(data);
    }
    static PortalSession& of(gpointer data) {
        return **static_cast<std::shared_ptr<PortalSession>*>(data);
    }

    static void onCalled(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<PortalSession>> held(
            static_cast<std::shared_ptr<PortalSession>*>(data));
        PortalSession& self = **held;
        GError* e = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &e);
        if (!reply) {
            const bool absent = g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                                g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
                                g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
                                g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE) ||
                                g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
            self.stop((absent ? "the desktop portal offers no global shortcuts ("
                              : "the desktop portal failed (") +
                      errorText(e) + ")");
            // One that starts later is asked then.
            self.again_ = self.again_ || absent;
            return;
        }
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        // A portal older than handle tokens names a path of its own; unless its answer came
        // already, that is where to listen.
        if (path != self.calledPath_ && self.listening_ == self.calledPath_) self.listen(path);
        g_variant_unref(reply);
    }

    static void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                           GVariant* parameters, gpointer data) {
        // Unsubscribing below lets go of this subscription's hold on the session.
        const std::shared_ptr<PortalSession> keep =
            *static_cast<std::shared_ptr<PortalSession>*>(data);
        PortalSession& self = *keep;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
        uint32_t response = 0;
        GVariant* results = nullptr;
        g_variant_get(parameters, "(u@a{sv})", &response, &results);
        g_dbus_connection_signal_unsubscribe(self.bus_, self.response_);
        self.response_ = 0;
        self.listening_.clear();
        (self.*self.step_)(response, results);
        g_variant_unref(results);
    }

    void onSession(uint32_t response, GVariant* results) {
        const gchar* handle = nullptr;
        if (response != 0 || (!g_variant_lookup(results, "session_handle", "&s", &handle) &&
                              !g_variant_lookup(results, "session_handle", "&o", &handle))) {
            stop("the desktop refused a session (response " + std::to_string(response) + ")");
            return;
        }
        session_ = handle;
        activation_ = g_dbus_connection_signal_subscribe(
            bus_, kPortal, kShortcuts, "Activated", kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            &PortalSession::onActivated, hold(), &PortalSession::release);
        GVariantBuilder list;
        g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
        for (const PortalShortcut& s : shortcuts_) {
            GVariantBuilder props;
            g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
            g_variant_builder_add(&props, "{sv}", "description",
                                  g_variant_new_string(s.description.c_str()));
            g_variant_builder_add(&props, "{sv}", "preferred_trigger",
                                  g_variant_new_string(s.trigger.c_str()));
            g_variant_builder_add(&list, "(sa{sv})", s.id.c_str(), &props);
        }
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token()));
        request("BindShortcuts",
                g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &list, "", &options),
                &PortalSession::onBound);
    }

    void onBound(uint32_t response, GVariant* results) {
        if (response != 0) {
            stop("the shortcuts were not granted (response " + std::to_string(response) + ")");
            return;
        }
        std::string bound;
        GVariant* list = g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
        if (list) {
            GVariantIter it;
            g_variant_iter_init(&it, list);
            const gchar* id = nullptr;
            GVariant* props = nullptr;
            while (g_variant_iter_next(&it, "(&s@a{sv})", &id, &props)) {
                const gchar* trigger = nullptr;
                if (!g_variant_lookup(props, "trigger_description", "&s", &trigger)) trigger = "";
                bound.append(bound.empty() ? "" : ", ").append(id);
                if (*trigger) bound.append(" (").append(trigger).append(")");
                g_variant_unref(props);
            }
            g_variant_unref(list);
        }
        say("bound " + (bound.empty() ? std::string("nothing") : bound));
    }

    static void onActivated(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                            const gchar*, GVariant* parameters, gpointer data) {
        PortalSession& self = of(data);
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
        const gchar* session = nullptr;
        const gchar* id = nullptr;
        g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, nullptr, nullptr);
        if (self.session_ != session) return;
        for (const PortalShortcut& s : self.shortcuts_) {
            if (s.id == id) self.activated_(s.id);
        }
    }

    // Says why once and lets go of the session's subscriptions.
    void stop(const std::string& why) {
        say(why);
        if (response_ != 0) g_dbus_connection_signal_unsubscribe(bus_, response_);
        if (activation_ != 0) g_dbus_connection_signal_unsubscribe(bus_, activation_);
        response_ = activation_ = 0;
        listening_.clear();
        session_.clear();
    }

    std::vector<PortalShortcut> shortcuts_;
    std::function<void(const std::string&)> activated_;
    GDBusConnection* bus_ = nullptr;
    std::string token_;
    unsigned requests_ = 0;
    std::string calledPath_;  // where the request last made was expected
    std::string listening_;
    guint response_ = 0;
    guint activation_ = 0;
    guint owner_ = 0;
    bool again_ = false;  // a new owner of the portal's name gets a new session
    Step step_ = nullptr;
    std::string session_;
};

}  // namespace

void bindPortalShortcuts(std::vector<PortalShortcut> shortcuts,
                         std::function<void(const std::string& id)> activated) {
    auto session = std::make_shared<PortalSession>(std::move(shortcuts), std::move(activated));
    BusThread::shared().post([session] { session->start(); });
}

}  // namespace platform::linux_adapter
