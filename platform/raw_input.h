// Raw input from HID top-level collections: a window registers for a collection (usage page and
// usage) and then hears each of its reports as WM_INPUT, whose lParam names a record kept here
// until it is read, as GetRawInputData reads one.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "base/messages.h"

namespace base {
class Window;
}

namespace platform {

inline constexpr uint32_t RIM_TYPEHID = 2;
inline constexpr uint32_t RIDEV_INPUTSINK = 0x00000100;

struct RawInputRecord {
    uint32_t type = RIM_TYPEHID;
    std::vector<uint8_t> report;  // the first report, its id in byte 0
};

// The records between an input source and the window. Bounded: a window that does not read
// loses the oldest, whose WM_INPUT then names nothing.
class RawInputRecords {
public:
    base::LPARAM put(RawInputRecord record);
    std::optional<RawInputRecord> take(base::LPARAM handle);

private:
    static constexpr std::size_t kMaxPending = 1024;
    std::mutex m_;
    std::map<base::LPARAM, RawInputRecord> records_;
    base::LPARAM next_ = 1;
};

class RawInput {
public:
    virtual ~RawInput() = default;
    // From now on, reports of that collection reach `target` as WM_INPUT; false when refused.
    virtual bool registerDevice(uint16_t usagePage, uint16_t usage, uint32_t flags,
                                base::Window* target) = 0;
    // The record a WM_INPUT lParam names, read once; empty when it names none.
    virtual std::optional<RawInputRecord> getRawInputData(base::LPARAM handle) = 0;
};

}  // namespace platform
