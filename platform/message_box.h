#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline constexpr uint32_t MB_OK = 0x00000000;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x00000030;

// Shows a message to whoever can see it. Never blocks: a daemon may have nobody to answer.
class MessageBoxSink {
public:
    virtual ~MessageBoxSink() = default;
    virtual void show(const std::string& text, const std::string& caption, uint32_t type) = 0;
};

}  // namespace platform
