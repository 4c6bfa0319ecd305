// X keysym names and the virtual-key codes the hooks speak in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// 0 for a name with no virtual key here.
uint32_t virtualKeyFromKeysymName(std::string_view name);
// The usual keysym name of a virtual key; empty when there is none here.
std::string keysymNameFromVirtualKey(uint32_t vk);
// The key of a pair that keybd_event's flags name: without KEYEVENTF_EXTENDEDKEY the left
// Control or Alt, with it the right one. Other keys are themselves.
uint32_t sidedVirtualKey(uint32_t vk, uint32_t keyEventFlags);

}  // namespace platform
