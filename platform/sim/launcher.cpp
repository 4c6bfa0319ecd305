#include "platform/sim/launcher.h"

#include <glib.h>

namespace platform::sim {

namespace {

constexpr std::size_t kKept = 256;

// The program file without its surrounding quotes, as a shell takes it.
std::string unquoted(const std::string& file) {
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"') {
        return file.substr(1, file.size() - 2);
    }
    return file;
}

}  // namespace

bool SimLauncher::launch(const std::string& file, const std::string& parameters) {
    nlohmann::json argv = nlohmann::json::array({unquoted(file)});
    if (!parameters.empty()) {
        gchar** words = nullptr;
        GError* error = nullptr;
        if (!g_shell_parse_argv(parameters.c_str(), nullptr, &words, &error)) {
            const bool onlySpaces = error && error->code == G_SHELL_ERROR_EMPTY_STRING;
            g_clear_error(&error);
            if (!onlySpaces) return false;
        }
        for (gchar** w = words; w && *w; ++w) argv.push_back(std::string(*w));
        g_strfreev(words);
    }
    std::lock_guard lock(m_);
    launched_.push_back({{"file", file}, {"parameters", parameters}, {"argv", argv}});
    if (launched_.size() > kKept) {
        launched_.pop_front();
        ++dropped_;
    }
    return true;
}

nlohmann::json SimLauncher::status() const {
    std::lock_guard lock(m_);
    return {{"entries", launched_}, {"dropped", dropped_}};
}

}  // namespace platform::sim
