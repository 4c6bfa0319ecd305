#include "serial/uart.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "app/globals.h"
#include "app/message_box.h"
#include "app/status.h"

#include "base/thread.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"

std::atomic<base::Event*> hUARTSendRequestEvent[kFrameSlots];
std::atomic<base::Event*> hSendUARTCompleteEvent{nullptr};
std::atomic<base::Event*> hReplyAwaitedEvent{nullptr};
std::atomic<base::Event*> hWaitUARTResponseEvent{nullptr};
CommandFrame UARTReturnCommandBuf{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
CommandFrame UARTResponseBuf{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

namespace {

// While the port is broken the receive thread rests this long between passes.
constexpr uint32_t kClosedPortPauseMs = 50;

// Set once start-up registered for handle notices; every later open registers its own handle.
std::atomic<bool> handleNoticesStarted{false};

// Never destroyed: the transfer threads use them until the very end of the process.
std::mutex& portMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::shared_ptr<platform::SerialPort>& port() {
    static auto* p = new std::shared_ptr<platform::SerialPort>;
    return *p;
}

std::condition_variable& portOpened() {
    static auto* c = new std::condition_variable;
    return *c;
}

void setPort(std::shared_ptr<platform::SerialPort> p) {
    {
        std::lock_guard lock(portMutex());
        port() = std::move(p);
        hUARTDevice = port() ? port()->handle() : INVALID_HANDLE_VALUE;
    }
    portOpened().notify_all();
}

// The receive thread sleeps here while there is no line, rather than looking every so often.
std::shared_ptr<platform::SerialPort> waitForPort() {
    std::unique_lock lock(portMutex());
    portOpened().wait(lock, [] { return port() != nullptr; });
    return port();
}

std::mutex& noticesMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<int64_t, platform::DeviceNotice>& notices() {
    static auto* m = new std::map<int64_t, platform::DeviceNotice>;
    return *m;
}

int64_t nextNotice = 1;

std::optional<platform::DeviceNotice> takeNotice(int64_t id) {
    std::lock_guard lock(noticesMutex());
    auto it = notices().find(id);
    if (it == notices().end()) return std::nullopt;
    auto n = it->second;
    notices().erase(it);
    return n;
}

bool takeSendLock(LockMode mode) {
    if (mode == LockMode::TryOnce) return VESKOSDUARTSendCriticalSection.tryEnter();
    while (!VESKOSDUARTSendCriticalSection.tryEnter()) std::this_thread::yield();
    return true;
}

void queueSlot(std::size_t slot) {
    for (auto& e : hUARTSendRequestEvent) base::resetEvent(e.load());
    base::setEvent(hUARTSendRequestEvent[slot].load());
}

// The boxes of the set-up steps; a line whose state cannot be read is left as it is.
void configureLine(platform::SerialPort& p) {
    platform::LineSettings s;
    if (!p.getState(s)) {
        MessageBox("Can't Get UART State", platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return;
    }
    s.baudRate = 9600;
    s.byteSize = 8;
    s.parity = false;
    s.stopBits = 1;
    if (!p.setState(s)) {
        MessageBox("Can't Set UART State", platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
    if (!p.setReadIntervalTimeout(kUARTReadIntervalMs)) {
        MessageBox("Can't Set UART Timeouts", platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
    if (!p.setReceiveMask()) MessageBox("Can't Set UART Mask", platform::MB_OK);
}

void postHotKey(uint32_t id) {
    base::postMessage(hMainWnd.load(), WM_HOTKEY, id, 0);
}

}  // namespace

std::shared_ptr<platform::SerialPort> currentUARTPort() {
    std::lock_guard lock(portMutex());
    return port();
}

void OpenUARTDevice() {
    auto p = platform::ports().serialPorts->open();
    if (!p) {
        MessageBox("Can't Open UART Device", platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return;
    }
    configureLine(*p);
    // Only a configured line is published: a read under the old settings could turn 0x0D
    // into 0x0A. A line whose set-up failed is still kept, with whatever took effect.
    setPort(p);
    // Re-watch this handle: a port opened after start-up must be noticed when it goes too.
    if (handleNoticesStarted) {
        platform::ports().deviceNotices->registerHandle(p->handle());
    }
}

void CloseUARTDevice() {
    auto p = currentUARTPort();
    setPort(nullptr);
    if (p) p->close();
}

void CreateUARTEvents() {
    hWaitUARTResponseEvent = base::createEvent(false, false, "WAIT_UART_RESPONSE EVENT");
    hReplyAwaitedEvent = base::createEvent(false, false, "PAUSE_UART_RESPONSE EVENT");
    hSendUARTCompleteEvent = base::createEvent(false, false, "SEND_UART_COMPLETE_EVENT");
    for (auto& e : hUARTSendRequestEvent) e = base::createEvent(false, false);
}

void StartUARTThreads() {
    base::startThread("ThreadUR", ThreadURFunction);
    base::startThread("ThreadUS", ThreadUSFunction);
}

void RegisterUARTDeviceNotification() {
    platform::ports().deviceNotices->start([](const platform::DeviceNotice& n) {
        base::postMessage(hMainWnd.load(), WM_DEVICECHANGE, n.event, storeDeviceNotice(n));
    });
    handleNoticesStarted = true;
    if (!platform::ports().deviceNotices->registerHandle(hUARTDevice.load())) {
        MessageBox("RegisterDeviceNotification Error", platform::MB_OK);
    }
}

RequestResult SendUARTRequest(std::size_t slot, LockMode mode, const std::function<void()>& update,
                              bool resetCompletion) {
    if (resetCompletion) base::resetEvent(hSendUARTCompleteEvent.load());
    if (!takeSendLock(mode)) return RequestResult::Busy;
    if (update) update();

    queueSlot(slot);
    VESKOSDUARTSendCriticalSection.leave();
    return base::waitForSingleObject(hSendUARTCompleteEvent.load(), kUARTReplyTimeoutMs) ==
                   base::kWaitObject0
               ? RequestResult::Completed
               : RequestResult::TimedOut;
}

bool UARTTransferInProgress() {
    if (!VESKOSDUARTSendCriticalSection.tryEnter()) return true;
    VESKOSDUARTSendCriticalSection.leave();
    return false;
}

void ThreadURFunction() {
    for (;;) {
        auto p = waitForPort();
        if (!p->waitForReceive()) {
            // Closed meanwhile, or broken: a broken line is not asked again at once.
            if (currentUARTPort() == p) base::sleepMs(kClosedPortPauseMs);
            continue;
        }
        Frame f{};
        if (p->read(f.data(), f.size()) < 0) {
            if (currentUARTPort() == p) base::sleepMs(kClosedPortPauseMs);
            continue;
        }
        // A short frame fails too: its missing bytes are zero.
        if (!MatchFrameTemplate(f)) f = kInvalidFrame;
        UARTReturnCommandBuf.assign(f);
        const uint32_t awaited =
            base::waitForSingleObject(hReplyAwaitedEvent.load(), kReplyHandOverMs);
        const uint8_t code = f[kCodeByte];
        const bool report = code == 0x08 || code == 0x09 || code == 0x0A;
        if (awaited == base::kWaitObject0) {
            // A button report is not the reply the sender waits for: it is dropped, and what
            // was received reads as garbage.
            if (report) {
                f = kInvalidFrame;
                UARTReturnCommandBuf.assign(f);
            }
            UARTResponseBuf.assign(f);
            base::setEvent(hWaitUARTResponseEvent.load());
        } else if (awaited == base::kWaitTimeout && report) {
            postHotKey(code == 0x08 ? KT_VOL_UP : code == 0x09 ? KT_VOL_DOWN : KT_VOL_MUTE);
        }
    }
}

void ThreadUSFunction() {
    std::array<base::Event*, kFrameSlots> requests{};
    for (std::size_t i = 0; i < kFrameSlots; ++i) requests[i] = hUARTSendRequestEvent[i].load();
    for (;;) {
        const uint32_t r = base::waitForMultipleObjects(requests, base::kInfinite);
        if (r >= kFrameSlots) {
            base::sleepMs(kClosedPortPauseMs);
            continue;
        }
        takeSendLock(LockMode::Spin);
        const Frame frame = frameInSlot(r).snapshot();
        if (auto p = currentUARTPort(); p && p->write(frame.data(), frame.size())) {
            base::setEvent(hReplyAwaitedEvent.load());
            if (base::waitForSingleObject(hWaitUARTResponseEvent.load(), kUARTReplyTimeoutMs) ==
                base::kWaitObject0) {
                const Frame reply = UARTResponseBuf.snapshot();
                if (reply[0] == 0x02 && reply[3] == 0x02 && reply[kCodeByte] == frame[kCodeByte] &&
                    frame[kCodeByte] == 0x01) {
                    UARTSetBrightnessBuf.set(kValueByte, reply[kValueByte]);
                }
            }
        }
        VESKOSDUARTSendCriticalSection.leave();
        base::setEvent(hSendUARTCompleteEvent.load());
    }
}

int64_t storeDeviceNotice(const platform::DeviceNotice& notice) {
    std::lock_guard lock(noticesMutex());
    const int64_t id = nextNotice++;
    notices()[id] = notice;
    return id;
}

namespace {

void onDeviceChange(base::WPARAM wParam, base::LPARAM lParam) {
    // Only notices this process recorded are read; a number posted from outside names none.
    const auto notice = takeNotice(lParam);
    if (!notice) return;
    const bool closed = hUARTDevice == INVALID_HANDLE_VALUE;
    const bool handle = notice->deviceType == platform::DBT_DEVTYP_HANDLE;
    // "COM1" arriving, or a removal that was refused, brings a closed port back.
    const bool arrived = wParam == platform::DBT_DEVICEARRIVAL &&
                         notice->deviceType == platform::DBT_DEVTYP_PORT && notice->name == "COM1";
    const bool stayed = wParam == platform::DBT_DEVICEQUERYREMOVEFAILED && handle;
    if ((arrived || stayed) && closed) {
        OpenUARTDevice();
    } else if (wParam == platform::DBT_DEVICEQUERYREMOVE && handle && !closed) {
        CloseUARTDevice();
    }
}

}  // namespace

void registerUARTHandlers() {
    dispatch::registerMessageHandler(WM_DEVICECHANGE, dispatch::kDisplayControllerModel,
                                     onDeviceChange);
    registerStatusSection("uart", [] {
        nlohmann::json slots = nlohmann::json::array();
        for (std::size_t i = 0; i < kFrameSlots; ++i) {
            slots.push_back(frameToHex(frameInSlot(i).snapshot()));
        }
        return nlohmann::json{{"UARTResponseBuf", frameToHex(UARTResponseBuf.snapshot())},
                              {"UARTReturnCommandBuf", frameToHex(UARTReturnCommandBuf.snapshot())},
                              {"frames", slots},
                              {"transferInProgress", UARTTransferInProgress()}};
    });
}
