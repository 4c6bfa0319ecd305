// Fuzzes what the core makes of the firmware's level-list reply and of a button's ActionValue.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "brightness/levels.h"
#include "buttons/action_threads.h"
#include "input/acpi_channel.h"

namespace {

std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        std::array<uint8_t, kBCLReplySize> reply{};
        std::memcpy(reply.data(), data + 1, std::min(size - 1, reply.size()));
        TakeBCLLevels(reply);
        // A kept count is always one the table backs.
        if (dwBCLLevelCount.load() > 94) std::abort();
        return 0;
    }
    const std::size_t parametersSize = (data[0] & 2) ? kDownParametersSize : kParametersSize;
    const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string file, parameters, why;
    if (SplitActionValue(value, file, parameters, parametersSize, why)) {
        if (characters(file) >= kProgramFileSize || characters(parameters) >= parametersSize) {
            std::abort();
        }
        if (value.find(file) != 0) std::abort();  // the program file is where the text starts
    } else if (why.empty()) {
        std::abort();
    }
    return 0;
}
