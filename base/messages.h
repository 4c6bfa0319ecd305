// Message numbers keep their platform values so that posted numbers mean the same everywhere.
#pragma once

#include <cstdint>

namespace base {

using WPARAM = uint64_t;
using LPARAM = int64_t;
using LRESULT = int64_t;

}  // namespace base

inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUERYENDSESSION = 0x0011;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ENDSESSION = 0x0016;
inline constexpr uint32_t WM_QUERYDRAGICON = 0x0037;
inline constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
inline constexpr uint32_t WM_SETICON = 0x0080;
inline constexpr uint32_t WM_INPUT = 0x00FF;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_POWERBROADCAST = 0x0218;
inline constexpr uint32_t WM_DEVICECHANGE = 0x0219;
inline constexpr uint32_t WM_HOTKEY = 0x0312;
inline constexpr uint32_t WM_USER = 0x0400;

inline constexpr uint32_t IDOK = 1;
inline constexpr uint32_t IDCANCEL = 2;
inline constexpr uint32_t ICON_SMALL = 0;
inline constexpr uint32_t ICON_BIG = 1;
