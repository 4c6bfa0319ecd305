// The two communications calls that Wine cannot show doing their work on a pty (WaitCommEvent
// fails there at once), replaceable for the tests.
#pragma once

#include <windows.h>

namespace platform::win32 {

struct CommCalls {
    decltype(&WaitCommEvent) waitCommEvent = WaitCommEvent;
    decltype(&CancelIoEx) cancelIo = CancelIoEx;
};

}  // namespace platform::win32
