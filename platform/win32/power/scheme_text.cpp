#include "platform/win32/power/scheme_text.h"

#include <cctype>
#include <cstdio>

namespace platform::win32 {

namespace {

constexpr std::size_t kTextLength = 38;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const int lower = std::tolower(static_cast<unsigned char>(c));
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

// The value of `count` hex digits at `at`, or empty.
std::optional<uint32_t> hexAt(const std::string& text, std::size_t at, std::size_t count) {
    uint32_t v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int d = hexValue(text[at + i]);
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

}  // namespace

std::string schemeText(const GUID& g) {
    char b[kTextLength + 1];
    std::snprintf(b, sizeof b, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

std::optional<GUID> parseScheme(const std::string& text) {
    if (text.size() != kTextLength || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    for (std::size_t dash : {9u, 14u, 19u, 24u}) {
        if (text[dash] != '-') return std::nullopt;
    }
    GUID g{};
    const auto d1 = hexAt(text, 1, 8);
    const auto d2 = hexAt(text, 10, 4);
    const auto d3 = hexAt(text, 15, 4);
    if (!d1 || !d2 || !d3) return std::nullopt;
    g.Data1 = *d1;
    g.Data2 = static_cast<uint16_t>(*d2);
    g.Data3 = static_cast<uint16_t>(*d3);
    // Two bytes before the last dash, six after it.
    constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto b = hexAt(text, kByteAt[i], 2);
        if (!b) return std::nullopt;
        g.Data4[i] = static_cast<uint8_t>(*b);
    }
    return g;
}

}  // namespace platform::win32
