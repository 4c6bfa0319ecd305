#include "platform/keysyms.h"

#include "platform/input.h"

namespace platform {

namespace {

struct Named {
    const char* name;
    uint32_t vk;
};

constexpr Named kNamed[] = {
    {"XF86AudioMute", VK_VOLUME_MUTE},
    {"XF86AudioLowerVolume", VK_VOLUME_DOWN},
    {"XF86AudioRaiseVolume", VK_VOLUME_UP},
    {"Control_L", VK_LCONTROL},
    {"Control_R", VK_RCONTROL},
    {"Delete", VK_DELETE},
    {"BackSpace", 0x08},
    {"Tab", 0x09},
    {"Return", 0x0D},
    {"Escape", 0x1B},
    {"space", 0x20},
    {"Shift_L", 0xA0},
    {"Shift_R", 0xA1},
    {"Alt_L", VK_LMENU},
    {"Alt_R", VK_RMENU},
};

}  // namespace

uint32_t virtualKeyFromKeysymName(std::string_view name) {
    for (const auto& n : kNamed) {
        if (name == n.name) return n.vk;
    }
    if (name.size() == 1) {
        const char c = name[0];
        if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<uint32_t>(c);
    }
    return 0;
}

std::string keysymNameFromVirtualKey(uint32_t vk) {
    if (vk == VK_CONTROL) return "Control_L";
    for (const auto& n : kNamed) {
        if (n.vk == vk) return n.name;
    }
    if (vk >= 'A' && vk <= 'Z') return std::string(1, static_cast<char>(vk - 'A' + 'a'));
    if (vk >= '0' && vk <= '9') return std::string(1, static_cast<char>(vk));
    return {};
}

uint32_t sidedVirtualKey(uint32_t vk, uint32_t keyEventFlags) {
    const bool extended = (keyEventFlags & KEYEVENTF_EXTENDEDKEY) != 0;
    if (vk == VK_CONTROL) return extended ? VK_RCONTROL : VK_LCONTROL;
    if (vk == VK_MENU) return extended ? VK_RMENU : VK_LMENU;
    return vk;
}

}  // namespace platform
