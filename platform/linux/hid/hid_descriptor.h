// What a HID report descriptor says about its top-level collections: which application
// collections a device carries and which input reports belong to each, so that a report can be
// delivered only to those who asked for its collection.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::linux_adapter {

struct HidCollection {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    // The ids of the input reports declared inside it, ascending; 0 stands for the reports of a
    // device that numbers none.
    std::vector<uint8_t> reportIds;

    bool operator==(const HidCollection&) const = default;
};

struct HidDescriptor {
    std::vector<HidCollection> collections;  // top-level application collections, in order
    bool numbered = false;                   // its reports begin with their id byte

    // Whether a report with that id belongs to the collection (usagePage, usage).
    bool reportBelongsTo(uint8_t reportId, uint16_t usagePage, uint16_t usage) const;
    bool hasCollection(uint16_t usagePage, uint16_t usage) const;
};

struct HidDescriptorResult {
    std::optional<HidDescriptor> descriptor;
    std::string error;  // why there is none
};

// Reads the descriptor without trusting it: a truncated or inconsistent one gives an error,
// never a read past its end.
HidDescriptorResult parseHidDescriptor(std::span<const uint8_t> bytes);

// The kernel never hands out more than this.
inline constexpr std::size_t kMaxHidDescriptorSize = 4096;

// The bytes of a report_descriptor file (sysfs); empty with `error` set when unreadable or
// larger than any descriptor can be.
std::vector<uint8_t> readHidDescriptorFile(const std::string& path, std::string& error);

}  // namespace platform::linux_adapter
