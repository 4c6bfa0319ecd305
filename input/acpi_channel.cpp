#include "input/acpi_channel.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "app/globals.h"
#include "app/message_box.h"
#include "app/status.h"
#include "base/little_endian.h"
#include "base/thread.h"
#include "brightness/levels.h"
#include "buttons/action_threads.h"
#include "buttons/configuration.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "input/model_id.h"
#include "platform/ports.h"

std::atomic<base::Event*> hACPINotifyEvent{nullptr};
std::array<uint8_t, kAcpiMethodOutBufferSize> ACPIMethodOutBuffer{};

namespace {

// The opened driver behind hACPIDevice. Never released: HotKeyThread uses it for the process's
// whole life.
std::shared_ptr<platform::AcpiDevice>& device() {
    static auto* d = new std::shared_ptr<platform::AcpiDevice>;
    return *d;
}

// Tests open the channel again while threads of an earlier opening still run.
std::mutex& deviceMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::shared_ptr<platform::AcpiDevice> openedDevice() {
    std::lock_guard lock(deviceMutex());
    return hACPIDevice.load() == INVALID_HANDLE_VALUE ? nullptr : device();
}

bool DeviceIoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                     uint32_t& returned) {
    const std::shared_ptr<platform::AcpiDevice> d = openedDevice();
    return d && d->control(code, in, out, returned);
}

// Release codes matter only to a button that repeats: its thread waits for them.
void takeNotifyCode(uint32_t code) {
    auto press = [](const ButtonConfiguration& record, const std::atomic<base::Event*>& event) {
        if (record.Enabled) base::setEvent(event.load());
    };
    auto release = [](const ButtonConfiguration& record, const std::atomic<base::Event*>& event) {
        if (record.Enabled && record.AutoRepeatEnabled) base::setEvent(event.load());
    };
    switch (code) {
        case ACPI_NC_VOL_MUTE_RELEASE:
            release(VolumeMuteButton.get(), hVolMuteBreakEvent);
            break;
        case ACPI_NC_VOL_MUTE_PRESS:
            press(VolumeMuteButton.get(), hVolMuteMakeEvent);
            break;
        case ACPI_NC_VOL_UP_PRESS:
            press(VolumeUpButton.get(), hVolUpMakeEvent);
            break;
        case ACPI_NC_VOL_UP_RELEASE:
            release(VolumeUpButton.get(), hVolUpBreakEvent);
            break;
        case ACPI_NC_VOL_DOWN_PRESS:
            press(VolumeDownButton.get(), hVolDownMakeEvent);
            break;
        case ACPI_NC_VOL_DOWN_RELEASE:
            release(VolumeDownButton.get(), hVolDownBreakEvent);
            break;
        case ACPI_NC_DISABLE_HID:
            base::postMessage(hMainWnd.load(), WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM,
                              LPARAM_DISABLE_HID);
            break;
        case ACPI_NC_ENABLE_HID:
            base::postMessage(hMainWnd.load(), WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM,
                              LPARAM_ENABLE_HID);
            break;
        default:  // shutdown and brightness codes ask nothing of this program
            break;
    }
}

}  // namespace

std::array<uint8_t, kAcpiMethodRequestSize> makeAcpiMethodRequest(const char* name) {
    std::array<uint8_t, kAcpiMethodRequestSize> request{};
    base::writeLe32(request, 0, 1);
    std::memcpy(request.data() + 4, name, 4);
    return request;
}

int CallAcpiMethod(const char* name, uint8_t* reply) {
    if (hACPIDevice.load() == INVALID_HANDLE_VALUE) return 0;
    const auto request = makeAcpiMethodRequest(name);
    // The size carried over from the previous call never reaches past the shared buffer.
    const std::size_t length =
        std::min<std::size_t>(dwACPIMethodOutSize.load(), kAcpiMethodOutBufferSize);
    uint32_t returned = 0;
    if (!DeviceIoControl(IOCTL_ACPI_CALL_METHOD, request, {reply, length}, returned)) return 0;
    dwACPIMethodOutSize = returned;
    return 1;
}

void TakeBCLLevels(std::span<const uint8_t, kBCLReplySize> reply) {
    const uint32_t length = base::readLe16(reply, kAcpiReplyDataLengthOffset);
    // A count the table cannot back is never kept: readers index the table with it.
    if (length < 2 || length > 96) {
        dwBCLLevelCount = 0;
        return;
    }
    std::memcpy(BrightnessBCLLevel.data(), reply.data() + kAcpiReplyDataOffset + 2, length - 2);
    dwBCLLevelCount = length - 2;
}

int QueryBCLLevels() {
    if (hACPIDevice.load() == INVALID_HANDLE_VALUE) return 0;
    std::array<uint8_t, kBCLReplySize> reply{};
    const auto request = makeAcpiMethodRequest("QZLV");
    uint32_t returned = 0;
    if (!DeviceIoControl(IOCTL_ACPI_CALL_METHOD, request, reply, returned)) return 0;
    TakeBCLLevels(reply);
    return 1;
}

void HotKeyThread(std::atomic<base::Event*>* parameter) {
    for (;;) {
        // A wait that fails (no event) would fail again at once: end rather than spin.
        if (base::waitForSingleObject(parameter->load(), base::kInfinite) != base::kWaitObject0) {
            return;
        }
        std::array<uint8_t, 4> code{};
        uint32_t returned = 0;
        if (!DeviceIoControl(IOCTL_ACPI_GET_NOTIFY_CODE, {}, code, returned)) continue;
        takeNotifyCode(base::readLe32(code, 0));
    }
}

void OpenAcpiChannel() {
    std::shared_ptr<platform::AcpiDevice> opened =
        platform::ports().acpiDrivers->open(kAcpiDeviceName);
    {
        std::lock_guard lock(deviceMutex());
        device() = opened;
    }
    if (opened) {
        hACPIDevice = 1;
    } else {
        hACPIDevice = INVALID_HANDLE_VALUE;
        if (platform::ports().acpiDrivers->absenceIsNews()) {
            MessageBox("Can't Open ACPI kernel Mode Driver",
                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
        }
    }
    uint32_t returned = 0;
    DeviceIoControl(IOCTL_ACPI_INIT, {}, {}, returned);

    hACPINotifyEvent = base::createEvent(false, false, "MORV EVENT");
    base::startThread("HotKeyThread", [] { HotKeyThread(&hACPINotifyEvent); });

    std::array<uint8_t, 4> handle{};
    base::writeLe32(handle, 0, base::eventHandleValue(hACPINotifyEvent.load()));
    std::array<uint8_t, 4> ignored{};
    if (opened) opened->setNotifyEvent(hACPINotifyEvent.load());
    DeviceIoControl(IOCTL_ACPI_REGISTER_EVENT, handle, ignored, returned);

    dwACPIMethodOutSize = kAcpiMethodOutBufferSize;
    if (CallAcpiMethod("MBID", ACPIMethodOutBuffer.data())) {
        TakeModelNumber(base::readLe32(ACPIMethodOutBuffer, kAcpiReplyDataOffset));
    } else {
        TakeModelNumber(platform::ports().acpiDrivers->modelWithoutFirmware());
    }
    QueryBCLLevels();
}

void registerAcpiHandlers() {
    registerStatusSection("dwBCLLevelCount", [] { return dwBCLLevelCount.load(); });
    registerStatusSection("BrightnessBCLLevel", [] {
        const uint32_t n = std::min<uint32_t>(dwBCLLevelCount.load(), kBCLLevelTableSize);
        return nlohmann::json(
            std::vector<uint8_t>(BrightnessBCLLevel.begin(), BrightnessBCLLevel.begin() + n));
    });
    dispatch::registerDeviceEventHandler(
        LPARAM_TOGGLE_LCD, dispatch::kOsdModel,
        [](base::WPARAM, base::LPARAM) { CallAcpiMethod("TLCD", ACPIMethodOutBuffer.data()); });
}
