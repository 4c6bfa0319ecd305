// The handler tables behind WindowProc: per (event code, model) and per (window message, model).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/messages.h"

namespace dispatch {

using Handler = std::function<void(base::WPARAM wParam, base::LPARAM lParam)>;

inline constexpr int32_t kDisplayControllerModel = 0;
inline constexpr int32_t kOsdModel = 1;

// Registered at start-up by the subsystem that owns the code; a later registration replaces.
void registerDeviceEventHandler(base::LPARAM code, int32_t model, Handler handler);
void registerMessageHandler(uint32_t message, int32_t model, Handler handler);
// Both models at once, for codes and messages handled the same way on each.
void registerDeviceEventHandlerBothModels(base::LPARAM code, const Handler& handler);
void registerMessageHandlerBothModels(uint32_t message, const Handler& handler);
void clearHandlers();

// The program's own handling of one message; the caller passes it on to the base procedure.
void handleMessage(uint32_t message, base::WPARAM wParam, base::LPARAM lParam);

// One line per dispatched message on stderr.
void setVerbose(bool on);
std::string describeMessage(uint32_t message, base::WPARAM wParam, base::LPARAM lParam);

}  // namespace dispatch
