#include "platform/linux/backend_api.h"
#include "platform/linux/backlight.h"
#include "platform/linux/journal_event_log.h"
#include "platform/linux/message_box.h"
#include "platform/linux/service_notify.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const SystemdBackend* veskosd_backend_systemd() {
    static const SystemdBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<EventLog> { return std::make_unique<JournalEventLog>(); },
        []() -> std::unique_ptr<MessageBoxSink> { return std::make_unique<LinuxMessageBox>(); },
        []() { return makeSysfsBacklight({}); },
        notifyServiceReady,
        notifyServiceStopping,
        notifyServiceWatchdog,
        watchdogFeedIntervalMs,
    };
    return &table;
}
