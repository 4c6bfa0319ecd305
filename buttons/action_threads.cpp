#include "buttons/action_threads.h"

#include <algorithm>

#include "app/globals.h"
#include "base/thread.h"
#include "dispatch/device_events.h"
#include "platform/ports.h"

std::atomic<base::Event*> hVolMuteMakeEvent{nullptr};
std::atomic<base::Event*> hVolMuteBreakEvent{nullptr};
std::atomic<base::Event*> hVolUpMakeEvent{nullptr};
std::atomic<base::Event*> hVolUpBreakEvent{nullptr};
std::atomic<base::Event*> hVolDownMakeEvent{nullptr};
std::atomic<base::Event*> hVolDownBreakEvent{nullptr};

namespace {

// Characters, not bytes: the buffers were sized in characters.
std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

struct ButtonThread {
    const char* name;
    const ButtonRecord& record;
    const std::atomic<base::Event*>& make;
    const std::atomic<base::Event*>& release;
    std::size_t parametersSize;
};

// One thread's own buffers, filled by the first launch.
struct LaunchBuffers {
    std::string programFile;
    std::string parameters;
    bool refusalLogged = false;
};

// The event log is the GUI thread's, as for the configuration's reports: the entry is handed to
// it rather than written from this thread.
void logRefusal(const ButtonThread& button, LaunchBuffers& buffers, const std::string& why) {
    if (buffers.refusalLogged) return;
    buffers.refusalLogged = true;
    base::Window* wnd = hMainWnd.load();
    if (!wnd) return;
    const std::string text =
        std::string("The ActionValue of ") + button.name + " was not launched: " + why;
    wnd->queue().postTask([text] {
        platform::EventLog& log = *platform::ports().eventLog;
        log.registerSource("VESKOSD");
        log.reportError(EVENT_ACTION_NOT_LAUNCHED, text, 0);
        log.deregisterSource();
    });
}

void launch(const ButtonThread& button, const ButtonConfiguration& record, LaunchBuffers& buffers,
            bool split) {
    platform::Launcher& launcher = *platform::ports().launcher;
    if (split && buffers.programFile.empty()) {
        std::string file, parameters, why;
        if (!SplitActionValue(record.ActionValue, file, parameters, button.parametersSize, why)) {
            logRefusal(button, buffers, why);
            return;
        }
        // The launcher splits the parameters into arguments by its own rules; what it cannot
        // split (a quote never closed) is refused here, where it is reported, like the program's.
        if (std::string reason; !launcher.splitsParameters(parameters, reason)) {
            logRefusal(button, buffers, "its parameters cannot be split: " + reason);
            return;
        }
        buffers.programFile = std::move(file);
        buffers.parameters = std::move(parameters);
    }
    if (buffers.programFile.empty()) return;
    launcher.launch(buffers.programFile, buffers.parameters);
}

void perform(const ButtonThread& button, const ButtonConfiguration& record, LaunchBuffers& buffers,
             bool split) {
    uint32_t id = 0;
    switch (record.Action) {
        case LaunchExecutable:
            launch(button, record, buffers, split);
            return;
        case MuteVolume:
            id = KT_VOL_MUTE;
            break;
        case IncreaseVolume:
            id = KT_VOL_UP;
            break;
        case DecreaseVolume:
            id = KT_VOL_DOWN;
            break;
        case IncreaseDisplayBrightness:
            id = KT_BRIT_UP;
            break;
        case DecreaseDisplayBrightness:
            id = KT_BRIT_DOWN;
            break;
        case ToggleDisplayOnOff:
            id = KT_TOGGLE_LCD;
            break;
        default:
            return;
    }
    base::postMessage(hMainWnd.load(), WM_HOTKEY, id, 0);
}

void runButtonThread(const ButtonThread& button) {
    LaunchBuffers buffers;
    for (;;) {
        // A wait that fails would fail again at once: end rather than spin.
        if (base::waitForSingleObject(button.make.load(), base::kInfinite) != base::kWaitObject0) {
            return;
        }
        const ButtonConfiguration record = button.record.get();
        perform(button, record, buffers, true);
        if (!record.AutoRepeatEnabled) continue;
        uint32_t r = base::waitForSingleObject(button.release.load(), kFirstRepeatDelayMs);
        while (r != base::kWaitObject0) {
            if (r == base::kWaitFailed) return;
            perform(button, record, buffers, false);
            r = base::waitForSingleObject(button.release.load(),
                                          static_cast<uint32_t>(record.AutoRepeatInterval));
        }
    }
}

}  // namespace

int SplitActionValue(const std::string& actionValue, std::string& programFile,
                     std::string& parameters, std::size_t parametersSize, std::string& why) {
    std::string file, params;
    if (!actionValue.empty() && actionValue.front() == '"') {
        const std::size_t close = actionValue.find('"', 1);
        if (close == std::string::npos) {
            why = "its opening quote is never closed.";
            return 0;
        }
        file = actionValue.substr(0, close + 1);
        // The one character after the closing quote separates; it is dropped whatever it is.
        if (close + 2 < actionValue.size()) params = actionValue.substr(close + 2);
    } else if (const std::size_t space = actionValue.find(' '); space != std::string::npos) {
        file = actionValue.substr(0, space);
        params = actionValue.substr(space + 1);
    } else {
        file = actionValue;
    }
    if (characterCount(file) >= kProgramFileSize) {
        why = "its program file is longer than " + std::to_string(kProgramFileSize - 1) +
              " characters.";
        return 0;
    }
    if (characterCount(params) >= parametersSize) {
        why =
            "its parameters are longer than " + std::to_string(parametersSize - 1) + " characters.";
        return 0;
    }
    programFile = std::move(file);
    parameters = std::move(params);
    return 1;
}

void CreateVolumeButtonEvents() {
    hVolMuteMakeEvent = base::createEvent(false, false, "VOL_MUTE_MAKE EVENT");
    hVolMuteBreakEvent = base::createEvent(false, false, "VOL_MUTE_BREAK EVENT");
    hVolUpMakeEvent = base::createEvent(false, false, "VOL_UP_MAKE EVENT");
    hVolUpBreakEvent = base::createEvent(false, false, "VOL_UP_BREAK EVENT");
    hVolDownMakeEvent = base::createEvent(false, false, "VOL_DOWN_MAKE EVENT");
    hVolDownBreakEvent = base::createEvent(false, false, "VOL_DOWN_BREAK EVENT");
}

void ThreadVMFunction() {
    runButtonThread({"VolumeMuteButton", VolumeMuteButton, hVolMuteMakeEvent, hVolMuteBreakEvent,
                     kParametersSize});
}

void ThreadVUFunction() {
    runButtonThread(
        {"VolumeUpButton", VolumeUpButton, hVolUpMakeEvent, hVolUpBreakEvent, kParametersSize});
}

void ThreadVDFunction() {
    runButtonThread({"VolumeDownButton", VolumeDownButton, hVolDownMakeEvent, hVolDownBreakEvent,
                     kDownParametersSize});
}

void StartButtonActionThreads() {
    base::startThread("ThreadVM", ThreadVMFunction);
    base::startThread("ThreadVU", ThreadVUFunction);
    base::startThread("ThreadVD", ThreadVDFunction);
}
