#include "platform/linux/module/backend_api.h"
#include "platform/linux/systemd/backlight.h"
#include "platform/linux/systemd/journal_event_log.h"
#include "platform/linux/systemd/message_box.h"
#include "platform/linux/systemd/service_notify.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(
    systemd, SystemdBackend,
    []() -> std::unique_ptr<EventLog> { return std::make_unique<JournalEventLog>(); },
    []() -> std::unique_ptr<MessageBoxSink> { return std::make_unique<LinuxMessageBox>(); },
    []() { return makeSysfsBacklight({}); }, notifyServiceReady, notifyServiceStopping,
    notifyServiceWatchdog, watchdogFeedIntervalMs)
