#include "platform/linux/systemd/message_box.h"

#include <syslog.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-journal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

// Per text: the notification the desktop shows for it, and whether a call is under way.
struct Shown {
    uint32_t id = 0;
    bool calling = false;
};

// Never destroyed: a notification call may still end while the process exits.
std::mutex& shownMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<std::string, Shown>& shownTexts() {
    static auto* m = new std::map<std::string, Shown>;
    return *m;
}

// Returns the id the server gave, or `replaces` when the call failed.
uint32_t notifyDesktop(const std::string& text, const std::string& caption, bool warning,
                       uint32_t replaces) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return replaces;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    // Notify(app_name, replaces_id, icon, summary, body, actions, hints, expire_timeout)
    const int r = sd_bus_call_method(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify", &error, &reply, "susssasa{sv}i", caption.c_str(),
        replaces, warning ? "dialog-warning" : "dialog-information", caption.c_str(), text.c_str(),
        0, 0, -1);
    uint32_t id = replaces;
    if (r < 0 || sd_bus_message_read(reply, "u", &id) < 0) id = replaces;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return id;
}

}  // namespace

void LinuxMessageBox::show(const std::string& text, const std::string& caption, uint32_t type) {
    const bool warning = (type & MB_ICONEXCLAMATION) == MB_ICONEXCLAMATION;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", warning ? LOG_WARNING : LOG_NOTICE,
                    "SYSLOG_IDENTIFIER=%s", caption.c_str(), nullptr);
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) {  // NOLINT(concurrency-mt-unsafe)
        // The bus call may take its time; the caller never waits for it. One call per text at a
        // time, each replacing the text's last notification, so a box shown over and over
        // neither piles up threads nor stacks notifications on the desktop.
        uint32_t replaces = 0;
        {
            std::lock_guard lock(shownMutex());
            Shown& shown = shownTexts()[text];
            if (shown.calling) return;
            shown.calling = true;
            replaces = shown.id;
        }
        const bool started = base::startThread("notify", [text, caption, warning, replaces] {
            const uint32_t id = notifyDesktop(text, caption, warning, replaces);
            std::lock_guard lock(shownMutex());
            shownTexts()[text] = {id, false};
        });
        if (!started) {
            std::lock_guard lock(shownMutex());
            shownTexts()[text].calling = false;
        }
    }
}

}  // namespace platform::linux_adapter
