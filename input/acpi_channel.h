// The firmware control driver: its control codes, the firmware-method call, the level-list query,
// the notification thread and the opening of the channel at start-up.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "base/event.h"

inline constexpr uint32_t IOCTL_ACPI_REGISTER_EVENT = 0x222400;
inline constexpr uint32_t IOCTL_ACPI_CALL_METHOD = 0x222404;
inline constexpr uint32_t IOCTL_ACPI_GET_NOTIFY_CODE = 0x222408;
inline constexpr uint32_t IOCTL_ACPI_INIT = 0x22240C;

inline constexpr uint32_t ACPI_NC_SYSTEM_SHUTDOWN = 0x56;
inline constexpr uint32_t ACPI_NC_VOL_MUTE_RELEASE = 0xC6;
inline constexpr uint32_t ACPI_NC_VOL_MUTE_PRESS = 0xC7;
inline constexpr uint32_t ACPI_NC_VOL_UP_PRESS = 0xC8;
inline constexpr uint32_t ACPI_NC_VOL_UP_RELEASE = 0xC9;
inline constexpr uint32_t ACPI_NC_VOL_DOWN_PRESS = 0xCA;
inline constexpr uint32_t ACPI_NC_VOL_DOWN_RELEASE = 0xCB;
inline constexpr uint32_t ACPI_NC_DISABLE_HID = 0xD0;
inline constexpr uint32_t ACPI_NC_ENABLE_HID = 0xD1;
inline constexpr uint32_t ACPI_NC_GET_BRIGHTNESS = 0xE0;
inline constexpr uint32_t ACPI_NC_SET_BRIGHTNESS = 0xE1;

inline constexpr std::size_t kAcpiMethodRequestSize = 20;
inline constexpr std::size_t kAcpiMethodOutBufferSize = 512;
inline constexpr std::size_t kBCLReplySize = 768;
// Where the reply puts the result's data length and its data.
inline constexpr std::size_t kAcpiReplyDataLengthOffset = 14;
inline constexpr std::size_t kAcpiReplyDataOffset = 16;

inline constexpr const char* kAcpiDeviceName = "\\\\.\\ZRBACPI";

extern std::atomic<base::Event*> hACPINotifyEvent;
// Shared by every firmware-method call; the GUI thread alone uses it.
extern std::array<uint8_t, kAcpiMethodOutBufferSize> ACPIMethodOutBuffer;

// Evaluates the four-character firmware method `name` into `reply` (dwACPIMethodOutSize bytes at
// most, then the number the driver returned). 1 when the driver took the call.
int CallAcpiMethod(const char* name, uint8_t* reply);
// Fills dwBCLLevelCount and BrightnessBCLLevel from the "QZLV" reply; 1 when the call succeeded.
int QueryBCLLevels();
// Turns each pending notify code into a button event or a posted message; never returns while
// its event can be waited on.
void HotKeyThread(std::atomic<base::Event*>* parameter);
// Start-up: opens the driver, starts HotKeyThread, reads the model number and the level table.
void OpenAcpiChannel();
// The panel toggle of the OSD model.
void registerAcpiHandlers();

// The 20-byte method request for `name`.
std::array<uint8_t, kAcpiMethodRequestSize> makeAcpiMethodRequest(const char* name);
// Level-table filling from a level-list reply, apart from the driver call.
void TakeBCLLevels(std::span<const uint8_t, kBCLReplySize> reply);
