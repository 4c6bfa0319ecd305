// Fuzzes the reading of acpi_call replies into a caller's buffer of any length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/linux/acpi/acpi_call_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the room; a vector of exactly that size lets ASan see any
    // write past it.
    const std::size_t room = (data[0] | data[1] << 8) % 1025;
    std::vector<uint8_t> out(room);
    const std::string_view reply(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto written = platform::linux_adapter::encodeAcpiCallReply(reply, out);
    if (!written) return 0;
    // A reply that was taken says its own length, which is what was written.
    const uint32_t length = out[4] | out[5] << 8 | out[6] << 16 | uint32_t{out[7]} << 24;
    if (*written > room || *written < 12 || length != *written) std::abort();
    if (out[8] == 1 && *written != 16u + (out[14] | out[15] << 8)) std::abort();
    return 0;
}
