#include "platform/linux/gio/bus_thread.h"

#include <memory>
#include <utility>

#include "base/thread.h"

namespace platform::linux_adapter {

BusThread& BusThread::shared() {
    static BusThread* const thread = new BusThread();  // never freed: the loop runs to the end
    return *thread;
}

BusThread::BusThread() : context_(g_main_context_new()) {
    GMainContext* context = context_;
    base::startThread("desktop-bus", [context] {
        g_main_context_push_thread_default(context);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        g_main_loop_run(loop);
    });
}

void BusThread::post(std::function<void()> work) {
    auto* held = new std::function<void()>(std::move(work));
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        held, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

GDBusConnection* BusThread::connection(std::string& error) {
    if (connection_ && !g_dbus_connection_is_closed(connection_)) return connection_;
    g_clear_object(&connection_);
    GError* e = nullptr;
    // Never "autolaunch:": a daemon without a session bus does not start one.
    const char* env = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    gchar* address = env && *env ? g_strdup(env) : nullptr;
    if (!address) {
        const std::string socket = std::string(g_get_user_runtime_dir()) + "/bus";
        if (g_file_test(socket.c_str(), G_FILE_TEST_EXISTS)) {
            gchar* escaped = g_dbus_address_escape_value(socket.c_str());
            address = g_strconcat("unix:path=", escaped, nullptr);
            g_free(escaped);
        }
    }
    if (!address) {
        error = "no session bus";
        return nullptr;
    }
    // Private, so that the bus going away closes this connection and never ends the process.
    connection_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &e);
    g_free(address);
    if (!connection_) {
        error = e ? e->message : "the session bus refused the connection";
        g_clear_error(&e);
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(connection_, FALSE);
    return connection_;
}

}  // namespace platform::linux_adapter
