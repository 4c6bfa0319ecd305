// Reads the record a WM_INPUT names into the port's form: its type and, for a HID record, its
// first report.
#pragma once

#include <optional>

#include "platform/raw_input.h"

namespace platform::win32 {

struct RawInputCalls;

// Empty when the record cannot be read or is malformed (a report that overruns the record, a
// size past any HID report); a record of another type comes without a report.
std::optional<RawInputRecord> readRawInputRecord(const RawInputCalls& calls, void* rawInput);

}  // namespace platform::win32
