#include "platform/linux/message_box.h"

#include <syslog.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <cstdlib>

#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

void notifyDesktop(const std::string& text, const std::string& caption, bool warning) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    // Notify(app_name, replaces_id, icon, summary, body, actions, hints, expire_timeout)
    sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                       "org.freedesktop.Notifications", "Notify", &error, &reply, "susssasa{sv}i",
                       caption.c_str(), 0u, warning ? "dialog-warning" : "dialog-information",
                       caption.c_str(), text.c_str(), 0, 0, -1);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
}

}  // namespace

void LinuxMessageBox::show(const std::string& text, const std::string& caption, uint32_t type) {
    const bool warning = (type & MB_ICONEXCLAMATION) == MB_ICONEXCLAMATION;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", warning ? LOG_WARNING : LOG_NOTICE,
                    "SYSLOG_IDENTIFIER=%s", caption.c_str(), nullptr);
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) {  // NOLINT(concurrency-mt-unsafe)
        // The bus call may take its time; the caller never waits for it.
        base::startThread("notify",
                          [text, caption, warning] { notifyDesktop(text, caption, warning); });
    }
}

}  // namespace platform::linux_adapter
