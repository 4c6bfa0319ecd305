// Simulated keyboard and mouse: keys and mouse events come from `veskosd sim key|mouse`, pass
// through the hooks on the GUI thread, and fire the registered hot keys; injected keys are
// recorded and pass through the hooks too.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/input.h"

namespace platform::sim {

class SimInput final : public InputDevices {
public:
    void start(std::function<void(std::function<void()>)> runOnGui,
               std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) override;
    bool registerHotKey(uint32_t id, uint32_t modifiers, uint32_t vk) override;
    void installHooks(KeyboardHook keyboard, MouseHook mouse) override;
    void setBlocking(bool blocking) override;
    bool keyDown(uint32_t vk) override;
    void injectKey(uint32_t vk, bool up) override;

    // GUI thread: one key or mouse event from outside. Returns what became of it.
    nlohmann::json key(uint32_t vk, bool up);
    nlohmann::json mouse(uint32_t message);
    nlohmann::json status() const;
    // `sim key KEYSYM down|up`, `sim mouse move|down|up`.
    nlohmann::json command(const nlohmann::json& args);

private:
    base::LRESULT feedKey(uint32_t vk, bool up, bool injected);

    mutable std::mutex m_;
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey_;
    std::map<uint32_t, uint32_t> hotKeys_;  // vk -> id
    KeyboardHook keyboard_;
    MouseHook mouse_;
    bool blocking_ = false;
    std::set<uint32_t> down_;
    base::RecentEntries<std::string> injected_;
    int swallowed_ = 0;
};

}  // namespace platform::sim
