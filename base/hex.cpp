#include "base/hex.h"

#include <cstdio>

namespace base {

std::string hexBytes(std::span<const uint8_t> bytes) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof(b), i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

}  // namespace base
