// The heavy libraries come in through the backend modules: the executable itself needs none of
// them, the daemon says once which adapters it chose, and without its modules it still runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/process.h"
#include "tests/support/pulse_server.h"
#include "tests/support/xvfb.h"

namespace {

std::vector<std::string> neededLibraries(const std::string& file) {
    int status = -1;
    const std::string out = testsupport::run({"readelf", "-d", "-W", file}, &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> needed;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const auto open = line.find('[');
        const auto close = line.find(']', open);
        if (open != std::string::npos && close != std::string::npos) {
            needed.push_back(line.substr(open + 1, close - open - 1));
        }
    }
    return needed;
}

// Points the daemons started in this scope at `dir` for their modules.
class BackendDir {
public:
    explicit BackendDir(const std::string& dir) { setenv("VESKOSD_BACKEND_DIR", dir.c_str(), 1); }
    ~BackendDir() { unsetenv("VESKOSD_BACKEND_DIR"); }
    BackendDir(const BackendDir&) = delete;
    BackendDir& operator=(const BackendDir&) = delete;
};

TEST(BackendsE2E, TheExecutableNeedsNoneOfTheHeavyLibraries) {
    const auto needed = neededLibraries(VESKOSD_BINARY);
    bool libc = false;
    for (const std::string& lib : needed) {
        libc = libc || lib.starts_with("libc.so");
        for (const char* heavy :
             {"libX", "libxcb", "libcairo", "libpulse", "libasound", "libxml2", "libsystemd",
              "libgio", "libglib", "libgobject", "libfontconfig", "libpng", "libfreetype"}) {
            EXPECT_FALSE(lib.starts_with(heavy)) << lib;
        }
    }
    EXPECT_TRUE(libc) << "no NEEDED entries read";
}

// What each module takes from the executable is there, exported, for every module: those the
// tests never open included.
TEST(BackendsE2E, EveryModuleFindsWhatItTakesFromTheExecutable) {
    int status = -1;
    std::set<std::string> exported;
    std::istringstream nm(testsupport::run(
        {"nm", "-D", "--defined-only", "--format=just-symbols", VESKOSD_BINARY}, &status));
    ASSERT_EQ(status, 0);
    for (std::string symbol; std::getline(nm, symbol);) exported.insert(symbol);

    const std::filesystem::path dir =
        std::filesystem::path(VESKOSD_BINARY).parent_path() / "backends";
    std::set<std::string> modules;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename();
        modules.insert(name);
        // ldd -r resolves against the module's own libraries; what is left must be the program's.
        std::istringstream ldd(testsupport::run({"ldd", "-r", entry.path().string()}, &status));
        for (std::string line; std::getline(ldd, line);) {
            const std::string mark = "undefined symbol: ";
            const auto at = line.find(mark);
            if (at == std::string::npos) continue;
            const auto start = at + mark.size();
            const std::string symbol = line.substr(start, line.find('\t', start) - start);
            EXPECT_TRUE(exported.contains(symbol)) << name << " takes " << symbol;
        }
    }
    const std::set<std::string> expected{
        "veskosd-alsa.so",    "veskosd-cairo.so", "veskosd-gio.so",
        "veskosd-logind.so",  "veskosd-pulse.so", "veskosd-systemd.so",
        "veskosd-wayland.so", "veskosd-x11.so",   "veskosd-xml.so"};
    EXPECT_EQ(modules, expected);
}

// Every module opens, with all it takes from the executable, on the real stack: the log names
// the real adapters and nothing unavailable, and the lazily opened graphics paint and encode.
TEST(BackendsE2E, TheRealMachineSaysOnceWhichAdaptersItChose) {
    testsupport::PulseServer pulse;
    testsupport::Xvfb xvfb;
    e2e::TempDir data;
    e2e::Daemon d(
        {"--machine", "linux", "--data-dir", data.path(), "--serial", "/nonexistent/tty"});
    ASSERT_TRUE(d.client({"post", "1281", "512", "32"}).status == 0);
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["VolumeCount"] != nullptr; }));
    const std::string shot = data.path() + "/osd.png";
    const auto r = d.client({"screenshot", shot});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream png(shot, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(png)), {});
    EXPECT_TRUE(bytes.starts_with("\x89PNG")) << "graphics module not in use";

    const std::string err = d.stderrText();
    EXPECT_EQ(e2e::occurrences(err, "veskosd: adapters:"), 1u) << err;
    for (const char* chosen : {"audio=pulse", "osd=x11", "input=x11", "log=journal",
                               "graphics=cairo", "xml=libxml2", "launcher=gio", "mixer=alsa"}) {
        EXPECT_NE(err.find(chosen), std::string::npos) << chosen << "\n" << err;
    }
    EXPECT_EQ(err.find("unavailable"), std::string::npos) << err;
    EXPECT_EQ(err.find("does nothing"), std::string::npos) << err;
}

// A module directory with nothing usable in it: an empty one, or a file that is no module at
// all. The daemon runs headless and silent, on a display it could have used, and answers.
TEST(BackendsE2E, WithoutItsModulesTheDaemonRunsHeadlessAndAnswers) {
    testsupport::Xvfb xvfb;
    for (const bool broken : {false, true}) {
        e2e::TempDir modules;
        if (broken) std::ofstream(modules.path() + "/veskosd-x11.so") << "not a module";
        BackendDir dir(modules.path());
        e2e::TempDir data;
        e2e::Daemon d(
            {"--machine", "linux", "--data-dir", data.path(), "--serial", "/nonexistent/tty"});
        const auto s = d.status();
        EXPECT_EQ(s["MajorVersion"], 6);
        EXPECT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
        EXPECT_EQ(d.client({"status"}).status, 0);

        const std::string err = d.stderrText();
        EXPECT_EQ(e2e::occurrences(err, "veskosd: adapters:"), 1u) << err;
        for (const char* fallback : {"audio=none", "osd=headless", "input=none", "graphics=none",
                                     "xml=none", "log=none", "launcher=none"}) {
            EXPECT_NE(err.find(fallback), std::string::npos) << fallback << "\n" << err;
        }
        const std::string why = broken ? "veskosd-x11.so: " : "veskosd-x11.so not found";
        EXPECT_NE(err.find("unavailable: "), std::string::npos) << err;
        EXPECT_NE(err.find(why), std::string::npos) << err;
    }
}

// Modules that other builds left, one with another build's identifier and one with none, are
// refused by name before their entry points run (which would abort), and their ports fall back.
TEST(BackendsE2E, AModuleOfAnotherBuildIsRefusedByName) {
    testsupport::Xvfb xvfb;
    BackendDir dir(VESKOSD_FOREIGN_BACKENDS);
    e2e::TempDir data;
    e2e::Daemon d(
        {"--machine", "linux", "--data-dir", data.path(), "--serial", "/nonexistent/tty"});
    EXPECT_EQ(d.client({"status"}).status, 0);
    const std::string err = d.stderrText();
    const std::string foreign = VESKOSD_FOREIGN_BACKENDS;
    EXPECT_NE(err.find("x11: " + foreign +
                       "/veskosd-x11.so: built by another build "
                       "(0.1.0-another-tree, not "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("pulse: " + foreign +
                       "/veskosd-pulse.so: not a backend module of this build (no build "
                       "identifier)"),
              std::string::npos)
        << err;
    for (const char* fallback : {"audio=none", "osd=headless", "input=none"}) {
        EXPECT_NE(err.find(fallback), std::string::npos) << fallback << "\n" << err;
    }
}

}  // namespace
