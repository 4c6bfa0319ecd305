#include "brightness/levels.h"

#include <algorithm>

#include "app/globals.h"
#include "app/status.h"
#include "base/thread.h"
#include "brightness/state_file.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "input/acpi_channel.h"
#include "input/hot_keys.h"
#include "osd/osd_window.h"
#include "platform/ports.h"

std::atomic<uint32_t> dwBCLLevelCount{0};
std::array<uint8_t, kBCLLevelTableSize> BrightnessBCLLevel{};
std::atomic<int32_t> BRIGHTNESSSave{0};
std::atomic<int32_t> iValue{0};
std::atomic<uint32_t> dwPowerSaveTimeout{0};
std::atomic<uint32_t> dwWmiBrightness{0};

namespace {

uint32_t levelCount() {
    return std::min<uint32_t>(dwBCLLevelCount.load(), kBCLLevelTableSize);
}

void step(int32_t delta, const char* method) {
    ShowOSD(
        [delta] {
            const auto count = static_cast<int32_t>(
                std::clamp<int64_t>(BRIGHTNESSCount.load() + int64_t{delta}, 0, 100));
            BRIGHTNESSCount = count;
            szBRIGHTNESSCount = std::to_string(count);
        },
        [delta, method] {
            const int32_t count = BRIGHTNESSCount.load();
            const int32_t save = BRIGHTNESSSave.load();
            if (count != save + int64_t{10} * delta) return;
            BRIGHTNESSSave = count;
            if (!BrightnessLevelsUsable()) return;
            // One firmware step per level of the table: a short table is stepped only where the
            // counter reaches another of its levels, never past its ends.
            const std::size_t at = BrightnessLevelIndex(count);
            iValue = BrightnessBCLLevel[at];
            if (at != BrightnessLevelIndex(save)) {
                CallAcpiMethod(method, ACPIMethodOutBuffer.data());
            }
        });
}

}  // namespace

bool BrightnessLevelsUsable() {
    return levelCount() >= 2;
}

bool BrightnessTableHolds(int32_t level) {
    const uint32_t count = BrightnessLevelsUsable() ? levelCount() : 0;
    const auto end = BrightnessBCLLevel.begin() + count;
    return std::find(BrightnessBCLLevel.begin(), end, level) != end;
}

std::size_t BrightnessLevelIndex(int32_t percent) {
    const auto p = static_cast<uint32_t>(std::clamp(percent, 0, 100));
    const uint32_t count = levelCount();
    if (count < 2) return 0;
    if (count >= 11) return p / 10;
    return (p * (count - 1) + 50) / 100;
}

int32_t BrightnessLevelFor(int32_t percent) {
    if (!BrightnessLevelsUsable()) return 0;
    return BrightnessBCLLevel[BrightnessLevelIndex(percent)];
}

void BrightnessStepDown() {
    step(-1, "DEBR");
}

void BrightnessStepUp() {
    step(+1, "INBR");
}

void SyncBrightnessFromSystem() {
    const uint32_t idleMs = base::getTickCount() - dwLastInputTick.load();
    dwPowerSaveTimeout = platform::ports().info->displayDimTimeoutSeconds();
    const uint64_t dimAfterMs = uint64_t{dwPowerSaveTimeout.load()} * 1000;
    const uint32_t count = levelCount();
    const bool suppressed =
        base::waitForSingleObject(hBritNoChangedEvent.load(), 0) == base::kWaitObject0;
    const bool dimmed = dimAfterMs != 0 && idleMs >= dimAfterMs;
    // One level cannot be turned into a percentage: it is ignored like none.
    if (!suppressed && !dimmed && count >= 2) {
        const uint32_t level = dwWmiBrightness.load();
        for (uint32_t i = 0; i < count; ++i) {
            if (BrightnessBCLLevel[i] != level) continue;
            const auto percent = static_cast<int32_t>(i * 100 / (count - 1));
            if (percent != BRIGHTNESSSave.load()) {
                BRIGHTNESSCount = percent;
                BRIGHTNESSSave = percent;
                iValue = static_cast<int32_t>(level);
            }
            break;
        }
    }
    dwPowerSaveTimeout = 0;
}

void registerBrightnessHandlers() {
    registerStatusSection("BRIGHTNESSSave", [] { return BRIGHTNESSSave.load(); });
    registerStatusSection("iValue", [] { return iValue.load(); });
    registerStatusSection("dwWmiBrightness", [] { return dwWmiBrightness.load(); });
    dispatch::registerDeviceEventHandler(LPARAM_DEBR, dispatch::kOsdModel,
                                         [](base::WPARAM, base::LPARAM) { BrightnessStepDown(); });
    dispatch::registerDeviceEventHandler(LPARAM_INBR, dispatch::kOsdModel,
                                         [](base::WPARAM, base::LPARAM) { BrightnessStepUp(); });
    dispatch::registerDeviceEventHandler(
        LPARAM_BRIT_CHANGED, dispatch::kOsdModel,
        [](base::WPARAM, base::LPARAM) { SyncBrightnessFromSystem(); });
}
