// Reading the numbers of `veskosd sim ...` verbs.
#pragma once

#include <string>

namespace platform::sim {

// The whole of `text` as a number in `base` (0: decimal, 0x hex or leading-0 octal) of at most
// `max`; std::invalid_argument with `usage` for anything else.
unsigned long parseWhole(const std::string& text, int base, unsigned long max, const char* usage);

}  // namespace platform::sim
