#include "control/base64.h"

#include <array>

namespace control {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodeTable() {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    }
    return t;
}

}  // namespace

std::string encodeBase64(std::span<const uint8_t> data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 0x3F];
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t{data[i]} << 16;
        if (rest == 2) v |= uint32_t{data[i + 1]} << 8;
        out += kAlphabet[(v >> 18) & 0x3F];
        out += kAlphabet[(v >> 12) & 0x3F];
        out += rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> decodeBase64(std::string_view text) {
    static constexpr auto kTable = decodeTable();
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        if (pad == 1 && text[i + 2] == '=') return std::nullopt;
        uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            int8_t d = 0;
            if (k < 4 - pad) {
                d = kTable[static_cast<uint8_t>(text[i + k])];
                if (d < 0) return std::nullopt;
            }
            v = (v << 6) | static_cast<uint32_t>(d);
        }
        // Bits below the last byte must be zero, so that each text has one meaning.
        if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return std::nullopt;
        out.push_back(static_cast<uint8_t>(v >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

}  // namespace control
