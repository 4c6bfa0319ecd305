// The keys a desktop hands over by name (`veskosd key NAME`, the portal's shortcuts): each is the
// hot key the X11 grab or a button action would post, with the virtual key the grab puts in the
// lParam's high word (0 for the keys no grab serves, as a button action posts them).
#pragma once

#include <cstdint>

#include "dispatch/device_events.h"
#include "platform/input.h"

struct NamedKey {
    const char* name;
    uint32_t id;
    uint32_t vk;
    const char* description;  // shown by a desktop that asks the user to confirm the key
    const char* trigger;      // its keysym, for the keys the portal binds; else null
};

inline constexpr NamedKey kNamedKeys[] = {
    {"volume-up", KT_VOL_UP, platform::VK_VOLUME_UP, "Volume up", "XF86AudioRaiseVolume"},
    {"volume-down", KT_VOL_DOWN, platform::VK_VOLUME_DOWN, "Volume down", "XF86AudioLowerVolume"},
    {"mute", KT_VOL_MUTE, platform::VK_VOLUME_MUTE, "Mute", "XF86AudioMute"},
    {"brightness-up", KT_BRIT_UP, 0, "Brightness up", nullptr},
    {"brightness-down", KT_BRIT_DOWN, 0, "Brightness down", nullptr},
    {"panel", KT_TOGGLE_LCD, 0, "Panel on or off", nullptr},
};

inline int64_t hotKeyLParam(const NamedKey& key) {
    return int64_t{key.vk} << 16;
}
