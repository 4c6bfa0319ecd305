// The system's log of program errors, under an event source name.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual bool registerSource(const std::string& source) = 0;
    // An error event with its id; `dataSize` is the size of the event's raw data.
    virtual void reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) = 0;
    virtual void deregisterSource() = 0;
};

}  // namespace platform
