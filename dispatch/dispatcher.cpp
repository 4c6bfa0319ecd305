#include "dispatch/dispatcher.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <utility>

#include "app/globals.h"
#include "dispatch/device_events.h"

namespace dispatch {

namespace {

// Only the GUI thread registers (during start-up) and dispatches.
std::map<std::pair<base::LPARAM, int32_t>, Handler>& deviceHandlers() {
    static std::map<std::pair<base::LPARAM, int32_t>, Handler> m;
    return m;
}

std::map<std::pair<uint32_t, int32_t>, Handler>& messageHandlers() {
    static std::map<std::pair<uint32_t, int32_t>, Handler> m;
    return m;
}

std::atomic<bool> verbose{false};

int32_t currentModel() {
    return bOSDModel.load() ? kOsdModel : kDisplayControllerModel;
}

void setOsdModeFlags(base::LPARAM code) {
    if (code == LPARAM_DEBR || code == LPARAM_INBR) {
        bOSDShowBrightness = 1;
        bOSDShowVolume = 0;
    } else if (code == LPARAM_SR_VOL_UP_MAKE || code == LPARAM_SR_VOL_DOWN_MAKE ||
               code == LPARAM_SR_MUTE) {
        bOSDShowVolume = 1;
        bOSDShowBrightness = 0;
    }
}

const char* messageName(uint32_t message) {
    switch (message) {
        case WM_PAINT:
            return "WM_PAINT";
        case WM_CLOSE:
            return "WM_CLOSE";
        case WM_QUERYENDSESSION:
            return "WM_QUERYENDSESSION";
        case WM_ENDSESSION:
            return "WM_ENDSESSION";
        case WM_QUERYDRAGICON:
            return "WM_QUERYDRAGICON";
        case WM_DISPLAYCHANGE:
            return "WM_DISPLAYCHANGE";
        case WM_SETICON:
            return "WM_SETICON";
        case WM_INPUT:
            return "WM_INPUT";
        case WM_COMMAND:
            return "WM_COMMAND";
        case WM_POWERBROADCAST:
            return "WM_POWERBROADCAST";
        case WM_DEVICECHANGE:
            return "WM_DEVICECHANGE";
        case WM_HOTKEY:
            return "WM_HOTKEY";
        case WM_DEVICE_EVENT:
            return "WM_DEVICE_EVENT";
        default:
            return nullptr;
    }
}

const char* codeName(base::LPARAM code) {
    switch (code) {
        case LPARAM_DEBR:
            return "LPARAM_DEBR";
        case LPARAM_INBR:
            return "LPARAM_INBR";
        case LPARAM_SR_VOL_UP_MAKE:
            return "LPARAM_SR_VOL_UP_MAKE";
        case LPARAM_SR_VOL_DOWN_MAKE:
            return "LPARAM_SR_VOL_DOWN_MAKE";
        case LPARAM_SR_MUTE:
            return "LPARAM_SR_MUTE";
        case LPARAM_TOGGLE_LCD:
            return "LPARAM_TOGGLE_LCD";
        case LPARAM_BRIT_CHANGED:
            return "LPARAM_BRIT_CHANGED";
        case LPARAM_MEDIA_SELECT:
            return "LPARAM_MEDIA_SELECT";
        case LPARAM_SOURCE_CHANGED:
            return "LPARAM_SOURCE_CHANGED";
        case LPARAM_DISABLE_HID:
            return "LPARAM_DISABLE_HID";
        case LPARAM_ENABLE_HID:
            return "LPARAM_ENABLE_HID";
        case LPARAM_SLEEP_SELECT:
            return "LPARAM_SLEEP_SELECT";
        case LPARAM_SYSTEM_SHUTDOWN:
            return "LPARAM_SYSTEM_SHUTDOWN";
        default:
            return nullptr;
    }
}

}  // namespace

void registerDeviceEventHandler(base::LPARAM code, int32_t model, Handler handler) {
    deviceHandlers()[{code, model}] = std::move(handler);
}

void registerMessageHandler(uint32_t message, int32_t model, Handler handler) {
    messageHandlers()[{message, model}] = std::move(handler);
}

void registerDeviceEventHandlerBothModels(base::LPARAM code, const Handler& handler) {
    registerDeviceEventHandler(code, kOsdModel, handler);
    registerDeviceEventHandler(code, kDisplayControllerModel, handler);
}

void registerMessageHandlerBothModels(uint32_t message, const Handler& handler) {
    registerMessageHandler(message, kOsdModel, handler);
    registerMessageHandler(message, kDisplayControllerModel, handler);
}

void clearHandlers() {
    deviceHandlers().clear();
    messageHandlers().clear();
}

void setVerbose(bool on) {
    verbose = on;
}

std::string describeMessage(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) {
    std::string line;
    const char* name = messageName(message);
    line += name ? name : "message " + std::to_string(message);
    line += " wParam " + std::to_string(wParam) + " lParam " + std::to_string(lParam);
    if (message == WM_DEVICE_EVENT && wParam == DEVICE_EVENT_WPARAM) {
        const char* code = codeName(lParam);
        line += code ? std::string(" (") + code + ")" : " (no such code)";
    }
    return line;
}

void handleMessage(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) {
    if (verbose) {
        std::fprintf(stderr, "veskosd: %s, model %d\n",
                     describeMessage(message, wParam, lParam).c_str(), currentModel());
    }
    if (message == WM_DEVICE_EVENT) {
        if (wParam != DEVICE_EVENT_WPARAM) return;
        // Every firmware call a handler makes offers the full reply buffer.
        dwACPIMethodOutSize = static_cast<uint32_t>(wParam);
        setOsdModeFlags(lParam);
        auto it = deviceHandlers().find({lParam, currentModel()});
        if (it != deviceHandlers().end()) it->second(wParam, lParam);
        return;
    }
    auto it = messageHandlers().find({message, currentModel()});
    if (it != messageHandlers().end()) it->second(wParam, lParam);
}

}  // namespace dispatch
