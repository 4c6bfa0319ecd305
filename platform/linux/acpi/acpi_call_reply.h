// The acpi_call module's text replies turned into the firmware driver's method-reply layout.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform::linux_adapter {

// Reply layout: signature, total length and result count as 32-bit words, then the result at
// offset 12: a 16-bit type, a 16-bit data length and the data from offset 16.
constexpr uint32_t kAcpiReplySignature = 0x426F6541;  // "AeoB" in memory
enum AcpiResultType : uint16_t {
    kAcpiInteger = 0,
    kAcpiString = 1,
    kAcpiBuffer = 2,
    kAcpiPackage = 3,
};

// Writes the reply for one read of /proc/acpi/call into `out` and gives the bytes written.
// Nothing (and `out` possibly scribbled on, never beyond its end) for "Error: ...", "not called",
// a reply the module cut short, anything unparsable, and a reply that does not fit `out`.
// An empty reply is a method without a result: the header alone, count 0.
std::optional<uint32_t> encodeAcpiCallReply(std::string_view reply, std::span<uint8_t> out);

// The method name of a 20-byte method request (four characters from offset 4), or nothing when
// the request is short or the name is not made of ACPI name characters.
std::optional<std::string> acpiRequestMethodName(std::span<const uint8_t> request);

}  // namespace platform::linux_adapter
