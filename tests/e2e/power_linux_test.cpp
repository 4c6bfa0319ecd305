// The real machine's power over a mocked logind, through the whole daemon: the shutdown code, a
// session end and the monitor, as a desktop would bring them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/harness.h"
#include "tests/support/dbusmock.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kManager = "org.freedesktop.login1.Manager";

std::vector<std::string> realMachine(const std::string& dataDir) {
    return {"--machine",  "linux", "--osd",    "headless",
            "--data-dir", dataDir, "--serial", "/nonexistent/tty"};
}

TEST(PowerLinuxE2E, TheShutdownCodePowersOffOnlyWhenLogindGrantsIt) {
    for (const std::string answer : {"yes", "challenge"}) {
        testsupport::LogindMock mock(R"({"CanPowerOff": ")" + answer + R"("})");
        e2e::TempDir data;
        e2e::Daemon d(realMachine(data.path()));
        EXPECT_NE(d.stderrText().find("power=logind"), std::string::npos) << d.stderrText();
        ASSERT_EQ(d.client({"post", "1281", "512", "169"}).status, 0);
        ASSERT_TRUE(e2e::eventually([&] { return mock.called("CanPowerOff"); })) << answer;
        if (answer == "yes") {
            EXPECT_TRUE(e2e::eventually([&] { return mock.called("PowerOff False"); }));
        } else {
            // The answer to the privilege step is the last thing asked: nothing follows it.
            d.status();
            EXPECT_FALSE(mock.called(" PowerOff ")) << mock.callLog();
        }
    }
}

TEST(PowerLinuxE2E, ASessionEndAndTheMonitorSaveTheBrightnessOfTheOsdModel) {
    testsupport::LogindMock mock;
    testsupport::Xvfb xvfb;
    e2e::TempDir data;
    const std::string file = data.path() + "/KL04BrightnessLevel.INI";
    e2e::Daemon d(realMachine(data.path()));
    // The delay lock is taken once logind answered: from then on no session end is missed.
    ASSERT_TRUE(e2e::eventually(
        [&] { return mock.inhibitors().find("'shutdown', 'veskosd'") != std::string::npos; }));
    mock.emit(kManager, "PrepareForShutdown", "b", "[<true>]");
    EXPECT_TRUE(e2e::eventually([&] { return fs::exists(file); }));

    // The screen saver stands for the monitor: on again, the saved level comes back.
    testsupport::run({"xset", "s", "activate"});
    testsupport::run({"xset", "s", "reset"});
    EXPECT_TRUE(e2e::eventually([&] { return !fs::exists(file); }));
}

}  // namespace
