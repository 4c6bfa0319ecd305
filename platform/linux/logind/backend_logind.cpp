#include "platform/linux/logind/logind_power.h"
#include "platform/linux/logind/x11_monitor_power.h"
#include "platform/linux/logind/x11_power_keys.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(logind, LogindBackend,
                [](const std::string& dataDir,
                   const std::string& display) -> std::unique_ptr<Power> {
                    auto power = std::make_unique<LogindPower>(
                        dataDir,
                        display.empty() ? nullptr : std::make_unique<X11MonitorPower>(display));
                    if (!display.empty())
                        power->addKeySource(std::make_unique<X11PowerKeys>(display));
                    return power;
                })
