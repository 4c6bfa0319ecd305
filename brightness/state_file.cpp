#include "brightness/state_file.h"

#include <array>
#include <cstdio>
#include <vector>

#include "app/globals.h"
#include "app/paths.h"
#include "base/little_endian.h"
#include "base/thread.h"
#include "brightness/levels.h"
#include "brightness/wmi_brightness.h"
#include "input/acpi_channel.h"
#include "platform/ports.h"
#include "platform/state_files.h"

std::atomic<base::Event*> hBritNoChangedEvent{nullptr};

namespace {

// Open to every local user, as the file has always been.
constexpr uint32_t kEveryoneFullAccess = 0666;

constexpr int kLastNumberedFile = 49;

std::string numberedFileName(int n) {
    char name[40];
    std::snprintf(name, sizeof(name), "KL04BrightnessLevel%2.2d.INI", n);
    return name;
}

int32_t readField(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<int32_t>(base::readLe32(b, at));
}

void setAll(int32_t count, int32_t save, int32_t value) {
    BRIGHTNESSCount = count;
    BRIGHTNESSSave = save;
    iValue = value;
}

bool isPercent(int32_t v) {
    return v >= 0 && v <= 100;
}

// 0 is "nothing saved"; anything else must be a level byte, and where it goes to the panel one of
// the table's own levels.
bool isSavedLevel(int32_t v, bool applied) {
    if (v == 0) return true;
    if (v < 0 || v > 255) return false;
    return !applied || BrightnessTableHolds(v);
}

// The three fields in file order, when the file opened and has the right size. Anyone may write
// the file: values out of range make it as meaningless as a file of the wrong size.
platform::StateRead readState(bool applied) {
    std::vector<uint8_t> bytes;
    platform::StateRead r = platform::readStateFile(szBrightnessFile, kBrightnessFileSize, bytes);
    if (r != platform::StateRead::Read) return r;
    const int32_t count = readField(bytes, 0);
    const int32_t save = readField(bytes, 4);
    const int32_t value = readField(bytes, 8);
    if (!isPercent(count) || !isPercent(save) || !isSavedLevel(value, applied)) {
        std::fprintf(stderr, "veskosd: %s holds a value out of range; the defaults stand\n",
                     szBrightnessFile.c_str());
        return platform::StateRead::WrongSize;
    }
    setAll(count, save, value);
    return r;
}

}  // namespace

bool IsBrightnessFileName(std::string_view name) {
    if (name == kBrightnessFileName) return true;
    for (int n = 0; n <= kLastNumberedFile; ++n) {
        if (name == numberedFileName(n)) return true;
    }
    return false;
}

void ChooseBrightnessFileName() {
    const std::string folder = dataFolderPath();
    szBrightnessFile = folder + kBrightnessFileName;
    if (platform::probeFile(szBrightnessFile) != platform::FileProbe::AccessDenied) return;
    for (int n = 0; n <= kLastNumberedFile; ++n) {
        szBrightnessFile = folder + numberedFileName(n);
        const platform::FileProbe probe = platform::probeFile(szBrightnessFile);
        if (probe == platform::FileProbe::Opens || probe == platform::FileProbe::NotFound) return;
    }
}

void RestoreBrightnessAtStart() {
    setAll(100, 100, 100);
    // Suppression and the field check only for a file of the right size, read whole.
    if (readState(false) == platform::StateRead::Read) {
        base::setEvent(hBritNoChangedEvent.load());
        if (iValue.load() == 0) setAll(100, 100, 100);
    }
    platform::removeStateFile(szBrightnessFile);
    // A table that backs no level leaves the panel as it is.
    const bool usable = BrightnessLevelsUsable();
    if (usable && hACPIDevice.load() != INVALID_HANDLE_VALUE) {
        CallAcpiMethod("MXBR", ACPIMethodOutBuffer.data());
    }
    const int32_t save = BRIGHTNESSSave.load();
    if (static_cast<uint32_t>(save) > 99 || save % 10 != 0) {
        setAll(100, 100, 100);
        return;
    }
    if (!usable) return;
    // Down from the top level to the saved one, one step per level of the table.
    const std::size_t steps = BrightnessLevelIndex(100) - BrightnessLevelIndex(save);
    for (std::size_t i = 0; i < steps; ++i) {
        if (hACPIDevice.load() != INVALID_HANDLE_VALUE) {
            CallAcpiMethod("DEBR", ACPIMethodOutBuffer.data());
        }
    }
}

void RestoreBrightnessState() {
    if (!bOSDModel.load()) return;
    const int32_t d = dwModelID.load() == 3 ? 60 : 100;
    setAll(d, d, BrightnessLevelFor(d));
    if (readState(BrightnessLevelsUsable()) != platform::StateRead::NotOpened) {
        base::setEvent(hBritNoChangedEvent.load());
        platform::ports().osdSurface->setAlpha(0);
    }
    platform::removeStateFile(szBrightnessFile);
    if (iValue.load() == 0) setAll(100, 100, BrightnessLevelFor(100));
    // A table that backs no level leaves the panel as it is.
    if (BrightnessLevelsUsable()) SetBrightnessLevel();
}

void SaveBrightnessState() {
    if (!bOSDModel.load()) return;
    std::array<uint8_t, kBrightnessFileSize> bytes{};
    const int32_t fields[3] = {BRIGHTNESSCount.load(), BRIGHTNESSSave.load(), iValue.load()};
    for (std::size_t f = 0; f < 3; ++f)
        base::writeLe32(bytes, f * 4, static_cast<uint32_t>(fields[f]));
    platform::writeStateFile(szBrightnessFile, bytes, kEveryoneFullAccess);
}

void CreateBrightnessNoChangeEvent() {
    hBritNoChangedEvent = base::createEvent(true, false, "BRIT_NO_CHANGED_EVENT");
}

void ThreadBNFunction() {
    for (;;) {
        if (base::waitForSingleObject(hBritNoChangedEvent.load(), base::kInfinite) !=
            base::kWaitObject0) {
            return;
        }
        base::sleepMs(kBrightnessSuppressMs);
        base::resetEvent(hBritNoChangedEvent.load());
    }
}
