#include "platform/linux/logind/logind_power.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/logind/logind_bus.h"

namespace platform::linux_adapter {

namespace {

constexpr uintptr_t kMonitorHandle = 1;
constexpr uintptr_t kPersonalityHandle = 2;
constexpr const char* kScheme = "logind";

uint64_t monotonicUsec() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// The poll time-out for sd-bus's next deadline (an absolute CLOCK_MONOTONIC time), -1 for none.
int pollTimeout(sd_bus* bus) {
    uint64_t until = UINT64_MAX;
    if (sd_bus_get_timeout(bus, &until) < 0 || until == UINT64_MAX) return -1;
    const uint64_t now = monotonicUsec();
    if (until <= now) return 0;
    return static_cast<int>(std::min<uint64_t>((until - now + 999) / 1000, 60000));
}

bool isButtonProperty(const char* name) {
    return name &&
           (std::strcmp(name, "HandlePowerKey") == 0 || std::strcmp(name, "HandleSuspendKey") == 0);
}

// Whether a PropertiesChanged of the Manager names either button property, changed or
// invalidated.
bool namesButtonProperty(sd_bus_message* m) {
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0 || !interface ||
        std::strcmp(interface, logind::kManager) != 0) {
        return false;
    }
    bool named = false;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return false;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) return false;
        named = named || isButtonProperty(name);
        if (sd_bus_message_skip(m, "v") < 0 || sd_bus_message_exit_container(m) < 0) return false;
    }
    if (sd_bus_message_exit_container(m) < 0) return named;
    char** invalidated = nullptr;
    if (sd_bus_message_read_strv(m, &invalidated) >= 0 && invalidated) {
        for (char** p = invalidated; *p; ++p) named = named || isButtonProperty(*p);
        for (char** p = invalidated; *p; ++p) free(*p);  // NOLINT(cppcoreguidelines-no-malloc)
        free(invalidated);                               // NOLINT(cppcoreguidelines-no-malloc)
    }
    return named;
}

int appendNotInteractive(sd_bus_message* m) {
    return sd_bus_message_append(m, "b", 0);
}

}  // namespace

LogindPower::LogindPower(std::string dataDir, std::unique_ptr<MonitorPowerSource> monitor,
                         LogindTimings timings, std::string inputDir)
    : timings_(timings), store_(std::move(dataDir)), monitor_(std::move(monitor)) {
    keySources_.push_back(std::make_unique<PowerKeys>(std::move(inputDir)));
}

void LogindPower::addKeySource(std::unique_ptr<PowerKeySource> source) {
    std::lock_guard l(applyMutex_);
    keySources_.push_back(std::move(source));
}

LogindPower::~LogindPower() {
    bus_.stop();
    for (auto& k : keySources_) k->stop();
    monitor_.reset();
}

void LogindPower::start(std::function<void(PowerNotice)> deliver) {
    {
        std::lock_guard l(deliverMutex_);
        deliver_ = std::move(deliver);
    }
    if (bus_.running()) return;
    const int wake = bus_.stopFd();
    if (wake >= 0) bus_.start([this, wake] { busLoop(wake); });
}

void LogindPower::deliver(PowerNotice notice) {
    std::function<void(PowerNotice)> to;
    {
        std::lock_guard l(deliverMutex_);
        to = deliver_;
    }
    if (to) to(std::move(notice));
}

// Waits for the login manager's signals without a time-out of its own: an idle daemon is
// never woken by this thread.
void LogindPower::busLoop(int wake) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return;
    sd_bus_slot* shutdownSlot = nullptr;
    sd_bus_slot* propertiesSlot = nullptr;
    sd_bus_slot* readySlot = nullptr;
    sd_bus_slot* ownerSlot = nullptr;
    sd_bus_match_signal_async(
        bus, &shutdownSlot, logind::kService, logind::kPath, logind::kManager, "PrepareForShutdown",
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            int starting = 0;
            if (sd_bus_message_read(m, "b", &starting) >= 0) {
                static_cast<LogindPower*>(self)->onShutdownSignal(starting != 0);
            }
            return 0;
        },
        nullptr, this);
    sd_bus_match_signal_async(
        bus, &propertiesSlot, logind::kService, logind::kPath, "org.freedesktop.DBus.Properties",
        "PropertiesChanged",
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            static_cast<LogindPower*>(self)->onPropertiesChanged(namesButtonProperty(m));
            return 0;
        },
        nullptr, this);
    // Its button settings are constant while it runs: a restarted login manager is how they
    // change. Only its own name is matched, so other clients coming and going wake nobody.
    sd_bus_add_match_async(
        bus, &ownerSlot,
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
        "arg0='org.freedesktop.login1'",
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            const char* name = nullptr;
            const char* from = nullptr;
            const char* to = nullptr;
            if (sd_bus_message_read(m, "sss", &name, &from, &to) >= 0 && to && *to) {
                static_cast<LogindPower*>(self)->onLogindStarted();
            }
            return 0;
        },
        nullptr, this);
    // The bus takes both watches before it passes this on, so the delay lock, once there,
    // says that no PrepareForShutdown can be missed.
    sd_bus_call_method_async(
        bus, &readySlot, logind::kService, logind::kPath, "org.freedesktop.DBus.Peer", "Ping",
        [](sd_bus_message*, void* self, sd_bus_error*) {
            auto* power = static_cast<LogindPower*>(self);
            power->shutdownDelay_.take(power->timings_.callMs);
            power->applyStore();  // a store an earlier run left
            return 0;
        },
        this, "");
    for (;;) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) break;  // the bus went away: no more notices
        if (r > 0) continue;
        pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                         {wake, POLLIN, 0}};
        if (fds[0].fd < 0) break;
        if (poll(fds, 2, pollTimeout(bus)) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
    }
    sd_bus_slot_unref(ownerSlot);
    sd_bus_slot_unref(readySlot);
    sd_bus_slot_unref(propertiesSlot);
    sd_bus_slot_unref(shutdownSlot);
    sd_bus_close_unref(bus);
}

void LogindPower::onShutdownSignal(bool starting) {
    if (!starting) {
        // The shutdown was called off: be ready for the next one.
        shutdownDelay_.take(timings_.callMs);
        return;
    }
    auto lock = std::make_shared<std::atomic<int>>(shutdownDelay_.detach());
    PowerNotice notice;
    notice.kind = PowerNotice::Kind::SessionEnd;
    notice.handled = [lock] {
        const int fd = lock->exchange(-1);
        if (fd >= 0) close(fd);
    };
    const auto handled = notice.handled;
    bool heard = false;
    {
        std::lock_guard l(deliverMutex_);
        heard = static_cast<bool>(deliver_);
    }
    if (heard) {
        deliver(std::move(notice));
    } else {
        handled();
    }
}

void LogindPower::onPropertiesChanged(bool buttonsChanged) {
    if (!buttonsChanged) return;
    if (store_.load()) applyStore();
    if (!personality_) return;
    PowerNotice notice;
    notice.kind = PowerNotice::Kind::SettingChange;
    notice.setting = PowerSetting::SchemePersonality;
    deliver(std::move(notice));
}

void LogindPower::onLogindStarted() {
    // A new login manager knows none of the locks the old one gave out.
    shutdownDelay_.release();
    shutdownDelay_.take(timings_.callMs);
    for (Inhibitor* lock : {&idleLock_, &shutdownBlock_}) {
        if (!lock->held()) continue;
        lock->release();
        lock->take(timings_.callMs);
    }
    // The key lock comes back with the store, and the settings may be new.
    keyLock_.release();
    onPropertiesChanged(true);
}

uintptr_t LogindPower::registerPowerSetting(PowerSetting setting) {
    if (setting == PowerSetting::SchemePersonality) {
        if (!logind::answers(timings_.callMs)) return 0;
        personality_ = true;
        return kPersonalityHandle;
    }
    std::lock_guard l(monitorMutex_);
    if (!monitor_) return 0;
    if (!monitorStarted_) {
        monitorStarted_ = monitor_->start([this](bool on) {
            PowerNotice notice;
            notice.kind = PowerNotice::Kind::SettingChange;
            notice.setting = PowerSetting::MonitorPowerOn;
            notice.data = on ? 1 : 0;
            deliver(std::move(notice));
        });
    }
    return monitorStarted_ ? kMonitorHandle : 0;
}

std::optional<std::string> LogindPower::activeScheme() {
    if (!logind::answers(timings_.callMs)) return std::nullopt;
    return std::string(kScheme);
}

bool LogindPower::schemeFunctionsAvailable() {
    return logind::answers(timings_.callMs);
}

std::optional<ButtonActions> LogindPower::logindActions() {
    const auto power = logind::managerString("HandlePowerKey", timings_.callMs);
    if (!power) return std::nullopt;
    const auto sleep = logind::managerString("HandleSuspendKey", timings_.callMs);
    if (!sleep) return std::nullopt;
    return ButtonActions{actionForHandle(*power), actionForHandle(*sleep)};
}

std::optional<int32_t> LogindPower::readButtonAction(const std::string& /*scheme*/,
                                                     PowerButton button) {
    auto actions = store_.load();
    if (!actions) actions = logindActions();
    if (!actions) return std::nullopt;
    return button == PowerButton::Power ? actions->power : actions->sleep;
}

bool LogindPower::writeButtonAction(const std::string& /*scheme*/, PowerButton button,
                                    int32_t value) {
    if (value < 0 || value > 3) return false;
    std::lock_guard l(applyMutex_);
    auto actions = store_.load();
    if (!actions) actions = logindActions();
    if (!actions) return false;
    (button == PowerButton::Power ? actions->power : actions->sleep) = value;
    return store_.save(*actions);
}

bool LogindPower::activateScheme(const std::string& /*scheme*/) {
    return applyStore();
}

bool LogindPower::applyStore() {
    std::lock_guard l(applyMutex_);
    const auto stored = store_.load();
    const auto own = stored ? logindActions() : std::nullopt;
    if (!stored || (own && *own == *stored)) {
        // The login manager's own actions again: the keys are its once more.
        if (stored) store_.clear();
        for (auto& k : keySources_) k->stop();
        keyLock_.release();
        return true;
    }
    // Kept even when the login manager cannot be reached: a later start acts on it.
    if (!keyLock_.take(timings_.callMs)) return false;
    int heard = 0;
    for (auto& k : keySources_) heard += k->start([this](PowerButton button) { onKey(button); });
    // Nobody here could hear a press: the keys stay the login manager's rather than go dead.
    if (heard == 0) keyLock_.release();
    return true;
}

void LogindPower::onKey(PowerButton button) {
    const auto stored = store_.load();
    if (!stored) return;
    switch (button == PowerButton::Power ? stored->power : stored->sleep) {
        case 3: {
            // Heard as a session end; unless session ends are being refused (the core then
            // holds it back), the machine powers off once it was heard.
            PowerNotice notice;
            notice.kind = PowerNotice::Kind::SessionEnd;
            notice.handled = [this] {
                if (!shutdownBlock_.held()) powerOff();
            };
            deliver(std::move(notice));
            break;
        }
        case 1:
            suspend(false);
            break;
        case 2:
            suspend(true);
            break;
        default:
            break;
    }
}

void LogindPower::setExecutionState(uint32_t flags) {
    // Without ES_CONTINUOUS the flags only reset the idle timers, which inhibitors cannot do.
    if (!(flags & ES_CONTINUOUS)) return;
    if (flags & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED)) {
        idleLock_.take(timings_.callMs);
        // Session ends are refused for as long as the system is to stay on.
        shutdownBlock_.take(timings_.callMs);
    } else {
        idleLock_.release();
        shutdownBlock_.release();
    }
}

bool LogindPower::suspend(bool hibernate) {
    logind::Connection c;
    if (!c.open()) return false;
    const auto deadline = logind::Clock::now() + std::chrono::milliseconds(timings_.callMs);
    bool began = false;
    bool woke = false;
    // Missing the watch only means not waiting for the wake-up.
    c.watch(
        "PrepareForSleep",
        [&](sd_bus_message* m) {
            int starting = 0;
            if (sd_bus_message_read(m, "b", &starting) < 0) return;
            (starting ? began : woke) = true;
        },
        deadline);
    if (!c.call(logind::kManager, hibernate ? "Hibernate" : "Suspend", appendNotInteractive,
                deadline)) {
        return false;
    }
    c.runUntil([&] { return began || woke; },
               logind::Clock::now() + std::chrono::milliseconds(timings_.sleepStartMs));
    if (began && !woke) {
        // The monotonic clock stands still while the machine sleeps.
        c.runUntil([&] { return woke; },
                   logind::Clock::now() + std::chrono::milliseconds(timings_.wakeMs));
    }
    return true;
}

bool LogindPower::enableShutdownPrivilege() {
    logind::Message reply = logind::callManager("CanPowerOff", nullptr, timings_.callMs);
    const char* answer = nullptr;
    if (!reply || sd_bus_message_read(reply.get(), "s", &answer) < 0 || !answer) return false;
    // "challenge" would ask the user: not granted for a daemon.
    return std::strcmp(answer, "yes") == 0;
}

bool LogindPower::powerOff() {
    return logind::callManager("PowerOff", appendNotInteractive, timings_.callMs) != nullptr;
}

// The login manager has one way to end the session and power off; the applications are asked
// through PrepareForShutdown either way.
bool LogindPower::shutdown() {
    return powerOff();
}

bool LogindPower::cancelShutdown() {
    return shutdownBlock_.held();
}

}  // namespace platform::linux_adapter
