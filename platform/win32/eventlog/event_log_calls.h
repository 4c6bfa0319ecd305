// The three system calls of the event log, replaceable for the tests.
#pragma once

#include <windows.h>

namespace platform::win32 {

struct EventLogCalls {
    decltype(&RegisterEventSourceW) registerSource = RegisterEventSourceW;
    decltype(&ReportEventW) report = ReportEventW;
    decltype(&DeregisterEventSource) deregister = DeregisterEventSource;
};

}  // namespace platform::win32
