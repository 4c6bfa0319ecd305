#include "platform/linux/gio/glib_launcher.h"

#include <gio/gio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/gio/user_manager_launch.h"

namespace platform::linux_adapter {

namespace {

bool isAddress(const std::string& text) {
    const auto colon = text.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok = g_ascii_isalpha(c) ||
                        (i > 0 && (g_ascii_isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

void refuse(const std::string& what, const char* why) {
    std::fprintf(stderr, "veskosd: not started: %s: %s\n", what.c_str(), why);
}

bool openWithDefault(const std::string& uri) {
    // The handler is found and started by GIO's own "gio open", run by the user manager.
    if (gchar* gio = g_find_program_in_path("gio")) {
        const bool started = startedByUserManager({gio, "open", uri});
        g_free(gio);
        if (started) return true;
    }
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) return true;
    refuse(uri, error->message);
    g_error_free(error);
    return false;
}

// Runs in the child between fork and exec: out of veskosd's session, so a hang-up or a signal
// to veskosd's group never reaches it.
void childSetup(gpointer /*unused*/) {
    setsid();
}

bool spawn(const std::string& path, const std::string& parameters) {
    std::string why;
    const std::optional<std::vector<std::string>> words = splitParameters(parameters, why);
    if (!words) {
        refuse(path + " " + parameters, why.c_str());
        return false;
    }
    std::vector<std::string> command{path};
    command.insert(command.end(), words->begin(), words->end());
    if (startedByUserManager(command)) return true;

    std::vector<gchar*> argv{const_cast<gchar*>(path.c_str())};
    for (const std::string& w : *words) argv.push_back(const_cast<gchar*>(w.c_str()));
    argv.push_back(nullptr);
    GError* error = nullptr;

    // The program's output goes to the journal when one runs, else nowhere.
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const int journal = sd_journal_stream_fd(name.c_str(), LOG_INFO, 0);
    GSpawnFlags flags = G_SPAWN_STDIN_FROM_DEV_NULL;
    if (journal < 0) {
        flags = static_cast<GSpawnFlags>(flags | G_SPAWN_STDOUT_TO_DEV_NULL |
                                         G_SPAWN_STDERR_TO_DEV_NULL);
    }
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib forks twice and reaps the middle child itself;
    // without G_SPAWN_LEAVE_DESCRIPTORS_OPEN the child gets only 0, 1 and 2.
    const bool started = g_spawn_async_with_pipes_and_fds(
        nullptr, argv.data(), nullptr, flags, childSetup, nullptr, -1, journal, journal, nullptr,
        nullptr, 0, nullptr, nullptr, nullptr, nullptr, &error);
    if (journal >= 0) close(journal);
    if (!started) {
        refuse(path, error->message);
        g_error_free(error);
    }
    return started;
}

class GLibLauncher final : public Launcher {
public:
    bool splitsParameters(const std::string& parameters, std::string& why) override {
        return splitParameters(parameters, why).has_value();
    }
    bool launch(const std::string& file, const std::string& parameters) override {
        const std::string program = unquotedProgramFile(file);
        if (program.empty()) {
            refuse(file, "no program file");
            return false;
        }
        if (isAddress(program)) return openWithDefault(program);
        std::string path;
        if (program.find('/') != std::string::npos) {
            path = program;
        } else if (gchar* found = g_find_program_in_path(program.c_str())) {
            path = found;
            g_free(found);
        } else {
            refuse(program, "not found on PATH");
            return false;
        }
        if (g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE) &&
            !g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
            return spawn(path, parameters);
        }
        if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
            refuse(path, "no such file");
            return false;
        }
        GFile* document = g_file_new_for_path(path.c_str());
        gchar* uri = g_file_get_uri(document);
        const bool opened = openWithDefault(uri);
        g_free(uri);
        g_object_unref(document);
        return opened;
    }
};

}  // namespace

std::string unquotedProgramFile(const std::string& file) {
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"') {
        return file.substr(1, file.size() - 2);
    }
    return file;
}

std::optional<std::vector<std::string>> splitParameters(const std::string& parameters,
                                                        std::string& why) {
    bool blank = true;
    for (const char c : parameters) blank = blank && g_ascii_isspace(c);
    if (blank) return std::vector<std::string>{};
    gchar** args = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(parameters.c_str(), nullptr, &args, &error)) {
        why = error->message;
        g_error_free(error);
        return std::nullopt;
    }
    std::vector<std::string> words;
    for (gchar** a = args; *a; ++a) words.emplace_back(*a);
    g_strfreev(args);
    return words;
}

std::unique_ptr<Launcher> makeLauncher() {
    return std::make_unique<GLibLauncher>();
}

}  // namespace platform::linux_adapter
