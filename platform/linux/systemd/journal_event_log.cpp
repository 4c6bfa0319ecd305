#include "platform/linux/systemd/journal_event_log.h"

#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>

namespace platform::linux_adapter {

namespace {

bool journalRuns() {
    return access("/run/systemd/journal/socket", W_OK) == 0;
}

}  // namespace

bool JournalEventLog::registerSource(const std::string& source) {
    source_ = source;
    return true;
}

void JournalEventLog::reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) {
    const std::string& source = source_.empty() ? std::string("VESKOSD") : source_;
    char id[16];
    std::snprintf(id, sizeof(id), "0x%08X", eventId);
    if (journalRuns()) {
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", LOG_ERR, "SYSLOG_IDENTIFIER=%s",
                        source.c_str(), "VESKOSD_EVENT_ID=%s", id, "VESKOSD_DATA_SIZE=%u", dataSize,
                        nullptr);
        return;
    }
    openlog(source.c_str(), LOG_PID, LOG_USER);
    syslog(LOG_ERR, "%s [event %s]", text.c_str(), id);
    closelog();
}

void JournalEventLog::deregisterSource() {
    source_.clear();
}

}  // namespace platform::linux_adapter
