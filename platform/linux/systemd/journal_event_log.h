// Error events in the journal (PRIORITY 3, the source as SYSLOG_IDENTIFIER, the event id and
// data size as fields of their own), or in syslog where no journal runs.
#pragma once

#include <string>

#include "platform/event_log.h"

namespace platform::linux_adapter {

class JournalEventLog final : public EventLog {
public:
    bool registerSource(const std::string& source) override;
    void reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) override;
    void deregisterSource() override;

private:
    std::string source_;
};

}  // namespace platform::linux_adapter
