// The Windows event log under a registered source. Its three calls are a seam of their own
// (event_log_calls.h): Wine only pretends to log, so the tests stand in for the system there.
#pragma once

#include <memory>
#include <mutex>

#include "platform/event_log.h"

namespace platform::win32 {

struct EventLogCalls;

class WindowsEventLog : public EventLog {
public:
    WindowsEventLog();
    explicit WindowsEventLog(const EventLogCalls& calls);
    ~WindowsEventLog() override;
    WindowsEventLog(const WindowsEventLog&) = delete;
    WindowsEventLog& operator=(const WindowsEventLog&) = delete;

    // On the local machine; false when the source cannot be registered.
    bool registerSource(const std::string& source) override;
    // One error event: the text as its one insertion string (the message table's "%1") and,
    // as its raw data, the text in UTF-16 with its terminator, up to `dataSize` bytes. Nothing
    // without a registered source.
    void reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) override;
    void deregisterSource() override;

private:
    std::unique_ptr<EventLogCalls> calls_;
    std::mutex m_;
    void* source_ = nullptr;
};

}  // namespace platform::win32
