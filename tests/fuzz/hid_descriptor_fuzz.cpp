// Fuzzes the HID report-descriptor parser: any bytes give a result or an error, and what it
// finds must hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/linux/hid/hid_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace platform::linux_adapter;
    const auto result = parseHidDescriptor(std::span<const uint8_t>(data, size));
    if (result.descriptor.has_value() == !result.error.empty()) std::abort();
    if (!result.descriptor) return 0;
    for (const auto& c : result.descriptor->collections) {
        for (std::size_t i = 0; i < c.reportIds.size(); ++i) {
            // Ascending and unique; 0 only on a device that numbers none.
            if (i > 0 && c.reportIds[i] <= c.reportIds[i - 1]) std::abort();
            if (c.reportIds[i] == 0 && result.descriptor->numbered) std::abort();
            if (!result.descriptor->reportBelongsTo(c.reportIds[i], c.usagePage, c.usage)) {
                std::abort();
            }
        }
    }
    return 0;
}
