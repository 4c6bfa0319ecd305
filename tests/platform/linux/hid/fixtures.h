// The report descriptors under tests/platform/linux/hid/descriptors.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace hidtest {

inline std::string fixturePath(const std::string& name) {
    return std::string(VESKOSD_HID_FIXTURES) + "/" + name + ".bin";
}

inline std::vector<uint8_t> fixture(const std::string& name) {
    std::ifstream in(fixturePath(name), std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) throw std::runtime_error("missing fixture " + name);
    return bytes;
}

}  // namespace hidtest
