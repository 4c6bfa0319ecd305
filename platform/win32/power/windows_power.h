// Power management on Windows: PowrProf's active scheme and button actions, the execution state,
// suspend, shutdown with the shutdown privilege, and the notices a hidden window of its own
// receives (session end, registered power settings).
#pragma once

#include <memory>

#include "platform/power.h"

namespace platform::win32 {

struct PowerCalls;
class PowerNoticeWindow;

class WindowsPower final : public Power {
public:
    WindowsPower();
    explicit WindowsPower(const PowerCalls& calls);
    ~WindowsPower() override;
    WindowsPower(const WindowsPower&) = delete;
    WindowsPower& operator=(const WindowsPower&) = delete;

    void start(std::function<void(PowerNotice)> deliver) override;
    uintptr_t registerPowerSetting(PowerSetting setting) override;
    std::optional<std::string> activeScheme() override;
    bool schemeFunctionsAvailable() override;
    std::optional<int32_t> readButtonAction(const std::string& scheme, PowerButton button) override;
    bool writeButtonAction(const std::string& scheme, PowerButton button, int32_t value) override;
    bool activateScheme(const std::string& scheme) override;
    void setExecutionState(uint32_t flags) override;
    bool suspend(bool hibernate) override;
    bool enableShutdownPrivilege() override;
    void disableShutdownPrivilege() override;
    bool powerOff() override;
    bool shutdown() override;
    bool cancelShutdown() override;

    // The notice window's handle once start() or a registration made it; for the tests.
    void* noticeWindow() const;

private:
    std::unique_ptr<PowerCalls> calls_;
    std::unique_ptr<PowerNoticeWindow> notices_;
};

}  // namespace platform::win32
