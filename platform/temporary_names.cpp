#include "platform/temporary_names.h"

namespace platform {

bool isTemporaryOf(std::string_view entry, const std::function<bool(std::string_view)>& ours) {
    if (entry.size() <= kTempSuffixSize + 1) return false;
    const std::size_t dot = entry.size() - kTempSuffixSize - 1;
    if (entry[dot] != '.') return false;
    for (const char c : entry.substr(dot + 1)) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit) return false;
    }
    return ours(entry.substr(0, dot));
}

}  // namespace platform
