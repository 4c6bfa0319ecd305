// The one system call that reads a raw-input record, replaceable for the tests: under Wine no
// HID report ever arrives (media keys come as keyboard input), so the tests give the records.
#pragma once

#include <windows.h>

namespace platform::win32 {

struct RawInputCalls {
    decltype(&GetRawInputData) getRawInputData = GetRawInputData;
};

}  // namespace platform::win32
