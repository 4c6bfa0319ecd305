#include "platform/sim/verb_args.h"

#include <stdexcept>

namespace platform::sim {

unsigned long parseWhole(const std::string& text, int base, unsigned long max, const char* usage) {
    std::size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(text, &used, base);
    } catch (const std::logic_error&) {
        throw std::invalid_argument(usage);
    }
    if (used != text.size() || v > max) throw std::invalid_argument(usage);
    return v;
}

}  // namespace platform::sim
