// veskosd-hid-match SYSPATH: udev runs it for each hidraw node (IMPORT{program}) with the
// node's sysfs path; it prints VESKOSD_HID=1 when the node's HID device carries one of the
// collections the daemon reads, so that the rule can let the logged-in user open that node.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/linux/hid/hid_descriptor.h"

namespace {

struct Collection {
    uint16_t usagePage;
    uint16_t usage;
};

// The collections the daemon registers for.
constexpr Collection kButtonCollections[] = {{0xFF01, 0x0004}, {0x0009, 0x0001}, {0xFFBC, 0x0089}};

}  // namespace

int main(int argc, char** argv) {
    using namespace platform::linux_adapter;
    if (argc != 2) {
        std::fprintf(stderr, "usage: veskosd-hid-match SYSPATH (of a hidraw node)\n");
        return 2;
    }
    std::string error;
    const auto bytes =
        readHidDescriptorFile(std::string(argv[1]) + "/device/report_descriptor", error);
    if (bytes.empty()) {
        std::fprintf(stderr, "veskosd-hid-match: %s\n",
                     error.empty() ? "empty report descriptor" : error.c_str());
        return 1;
    }
    const auto parsed = parseHidDescriptor(bytes);
    if (!parsed.descriptor) {
        std::fprintf(stderr, "veskosd-hid-match: %s: %s\n", argv[1], parsed.error.c_str());
        return 1;
    }
    for (const auto& c : kButtonCollections) {
        if (parsed.descriptor->hasCollection(c.usagePage, c.usage)) {
            std::printf("VESKOSD_HID=1\n");
            return 0;
        }
    }
    return 0;
}
