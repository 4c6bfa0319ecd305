// The display controller's serial link: the port, the receive and send threads, and the
// hand-shake by which the GUI thread has one frame sent and waits for its reply.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/event.h"
#include "platform/serial.h"
#include "serial/command_frames.h"

extern std::atomic<base::Event*> hUARTSendRequestEvent[kFrameSlots];
extern std::atomic<base::Event*> hSendUARTCompleteEvent;
extern std::atomic<base::Event*> hReplyAwaitedEvent;
extern std::atomic<base::Event*> hWaitUARTResponseEvent;
// The frame being received, and the last frame handed over as a reply.
extern CommandFrame UARTReturnCommandBuf;
extern CommandFrame UARTResponseBuf;

inline constexpr uint32_t kUARTReplyTimeoutMs = 3000;
inline constexpr uint32_t kUARTReadIntervalMs = 128;
inline constexpr uint32_t kReplyHandOverMs = 10;

enum class LockMode { TryOnce, Spin };
enum class RequestResult { Busy, TimedOut, Completed };

// The open port, or null while it is closed. Any thread.
std::shared_ptr<platform::SerialPort> currentUARTPort();

// GUI thread. Opens and configures the port, with a message box for each step that fails.
void OpenUARTDevice();
void CloseUARTDevice();

// Start-up, display-controller model: the events in their order, then both threads, then
// the handle notices on the port.
void CreateUARTEvents();
void StartUARTThreads();
void RegisterUARTDeviceNotification();

// GUI thread. Has frame `slot` sent and waits up to 3000 ms for the transfer's end; `update`
// runs under the send lock just before the request is queued.
RequestResult SendUARTRequest(std::size_t slot, LockMode mode,
                              const std::function<void()>& update = {},
                              bool resetCompletion = true);
// The busy probe: true while a transfer holds the send lock.
bool UARTTransferInProgress();

void ThreadURFunction();
void ThreadUSFunction();

// The WM_DEVICECHANGE handler; lParam names a notice record kept by the core.
void registerUARTHandlers();
// Keeps a notice until its message is handled; returns the lParam that names it.
int64_t storeDeviceNotice(const platform::DeviceNotice& notice);
