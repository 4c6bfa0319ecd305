#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace base {

// "02 00 7E": upper-case hex bytes separated by spaces.
std::string hexBytes(std::span<const uint8_t> bytes);

}  // namespace base
