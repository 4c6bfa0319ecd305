#include "platform/sim/sim_input.h"

#include <stdexcept>

#include "platform/keysyms.h"

namespace platform::sim {

void SimInput::start(std::function<void(std::function<void()>)>,
                     std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) {
    std::lock_guard l(m_);
    hotKey_ = std::move(hotKey);
}

bool SimInput::registerHotKey(uint32_t id, uint32_t, uint32_t vk) {
    std::lock_guard l(m_);
    hotKeys_[vk] = id;
    return true;
}

void SimInput::installHooks(KeyboardHook keyboard, MouseHook mouse) {
    std::lock_guard l(m_);
    keyboard_ = std::move(keyboard);
    mouse_ = std::move(mouse);
}

void SimInput::setBlocking(bool blocking) {
    std::lock_guard l(m_);
    blocking_ = blocking;
}

bool SimInput::keyDown(uint32_t vk) {
    std::lock_guard l(m_);
    if (vk == VK_CONTROL) return down_.count(VK_LCONTROL) || down_.count(VK_RCONTROL);
    return down_.count(vk) != 0;
}

void SimInput::injectKey(uint32_t vk, bool up) {
    {
        std::lock_guard l(m_);
        injected_.push(keysymNameFromVirtualKey(vk) + (up ? " up" : " down"));
    }
    feedKey(vk == VK_CONTROL ? VK_LCONTROL : vk, up, true);
}

base::LRESULT SimInput::feedKey(uint32_t vk, bool up, bool injected) {
    KeyboardHook hook;
    {
        std::lock_guard l(m_);
        if (up) {
            down_.erase(vk);
        } else {
            down_.insert(vk);
        }
        hook = keyboard_;
    }
    KBDLLHOOKSTRUCT k;
    k.vkCode = vk;
    k.flags = injected ? LLKHF_INJECTED : 0;
    const base::LRESULT r = hook ? hook(0, up ? WM_KEYUP : WM_KEYDOWN, k) : 0;
    std::lock_guard l(m_);
    // Swallowed input reaches no program; only the blocking hooks may swallow it.
    if (r != 0 && blocking_) ++swallowed_;
    return blocking_ ? r : 0;
}

nlohmann::json SimInput::key(uint32_t vk, bool up) {
    const bool swallowed = feedKey(vk, up, false) != 0;
    nlohmann::json reply{{"swallowed", swallowed}, {"hotKey", nullptr}};
    if (swallowed || up) return reply;
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey;
    uint32_t id = 0;
    {
        std::lock_guard l(m_);
        auto it = hotKeys_.find(vk);
        if (it == hotKeys_.end()) return reply;
        id = it->second;
        hotKey = hotKey_;
    }
    if (hotKey) hotKey(id, 0, vk);
    reply["hotKey"] = id;
    return reply;
}

nlohmann::json SimInput::mouse(uint32_t message) {
    MouseHook hook;
    {
        std::lock_guard l(m_);
        hook = mouse_;
    }
    const base::LRESULT r = hook ? hook(0, message, MSLLHOOKSTRUCT{}) : 0;
    std::lock_guard l(m_);
    const bool swallowed = r != 0 && blocking_;
    if (swallowed) ++swallowed_;
    return {{"swallowed", swallowed}};
}

nlohmann::json SimInput::status() const {
    std::lock_guard l(m_);
    nlohmann::json keys = nlohmann::json::array();
    for (const auto& [vk, id] : hotKeys_) keys.push_back(keysymNameFromVirtualKey(vk));
    return {{"injected", injected_.entries()},
            {"injectedDropped", injected_.dropped()},
            {"blocking", blocking_},
            {"swallowed", swallowed_},
            {"hotKeys", keys}};
}

nlohmann::json SimInput::command(const nlohmann::json& args) {
    static constexpr const char* kUsage = "sim key KEYSYM down|up | sim mouse move|down|up";
    if (args.size() < 2 || !args[0].is_string() || !args[1].is_string()) {
        throw std::invalid_argument(kUsage);
    }
    const std::string device = args[0].get<std::string>();
    if (device == "mouse") {
        const std::string what = args[1].get<std::string>();
        if (what == "move") return mouse(WM_MOUSEMOVE);
        if (what == "down") return mouse(WM_LBUTTONDOWN);
        if (what == "up") return mouse(WM_LBUTTONUP);
        throw std::invalid_argument(kUsage);
    }
    if (args.size() < 3 || !args[2].is_string()) throw std::invalid_argument(kUsage);
    const uint32_t vk = virtualKeyFromKeysymName(args[1].get<std::string>());
    const std::string dir = args[2].get<std::string>();
    if (vk == 0) throw std::invalid_argument("sim key: unknown keysym " + args[1].dump());
    if (dir != "down" && dir != "up") throw std::invalid_argument(kUsage);
    return key(vk, dir == "up");
}

}  // namespace platform::sim
