// Serves control requests (status, post, ...) on the user's named pipe: one line in, one line
// out per connection. Its security descriptor admits the user's own SID and nobody else.
#pragma once

#include <string>

#include "control/protocol.h"

namespace platform::win32 {

using RequestHandler = void (*)(std::string_view line, const control::Respond& respond);

// Starts the listening thread; false, with `error` set, when the pipe cannot be made (another
// process already serves the name, or no SID).
bool startPipeServer(RequestHandler handler, std::string& error);

}  // namespace platform::win32
