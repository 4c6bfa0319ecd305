#include "platform/linux/gio/glib_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace platform::linux_adapter {
namespace {

namespace fs = std::filesystem;

// Records how it was started, then renames the record into place so a reader never sees half.
constexpr const char* kRecorder = R"(#!/usr/bin/python3
import os, sys
here = os.path.dirname(os.path.abspath(__file__))
fds = [f for f in sorted(int(n) for n in os.listdir('/proc/self/fd')) if os.path.exists('/proc/self/fd/%d' % f)]
lines = ['arg=' + a for a in sys.argv[1:]]
lines.append('session_leader=%d' % (os.getsid(0) == os.getpid()))
lines.append('parent=%d' % os.getppid())
lines.append('fds=' + ' '.join(str(f) for f in fds))
lines.append('stdin=' + os.readlink('/proc/self/fd/0'))
with open(os.path.join(here, 'record.tmp'), 'w') as out:
    out.write('\n'.join(lines) + '\n')
os.rename(os.path.join(here, 'record.tmp'), os.path.join(here, 'record'))
)";

class GLibLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veskosd launch XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        program_ = dir_ / "prog";
        std::ofstream(program_) << kRecorder;
        fs::permissions(program_, fs::perms::owner_all);
        // Children of this process, whoever runs the tests.
        unsetenv("MANAGERPID");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The record, once the program wrote it; empty after the deadline.
    std::string record() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(dir_ / "record");
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    static void expectNoChildLeft() {
        int status = 0;
        EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }

    fs::path dir_;
    fs::path program_;
    std::unique_ptr<Launcher> launcher_ = makeLauncher();
};

TEST_F(GLibLauncherTest, AQuotedPathWithSpacesGetsItsArgumentsSplitAndRunsDetached) {
    ASSERT_TRUE(launcher_->launch("\"" + program_.string() + "\"", "--flag \"two words\""));
    const std::string got = record();
    ASSERT_FALSE(got.empty()) << "the program never ran";
    EXPECT_NE(got.find("arg=--flag\narg=two words\nsession_leader=1\n"), std::string::npos) << got;
    EXPECT_EQ(got.find("parent=" + std::to_string(getpid()) + "\n"), std::string::npos) << got;
    EXPECT_NE(got.find("fds=0 1 2\n"), std::string::npos) << got;
    EXPECT_NE(got.find("stdin=/dev/null\n"), std::string::npos) << got;
    expectNoChildLeft();
}

TEST_F(GLibLauncherTest, ABareNameIsFoundOnPathAndNothingIsExpanded) {
    const std::string path = dir_.string() + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    setenv("VESKOSD_TEST_WORD", "expanded", 1);
    ASSERT_TRUE(launcher_->launch("prog", "$VESKOSD_TEST_WORD 'a  b' *"));
    const std::string got = record();
    EXPECT_EQ(got.rfind("arg=$VESKOSD_TEST_WORD\narg=a  b\narg=*\nsession", 0), 0u) << got;
    expectNoChildLeft();
}

TEST_F(GLibLauncherTest, RefusesWhatItCannotStart) {
    EXPECT_FALSE(launcher_->launch("\"" + program_.string() + "\"", "--flag \"unterminated"));
    EXPECT_FALSE(launcher_->launch("veskosd-no-such-program", ""));
    EXPECT_FALSE(launcher_->launch((dir_ / "missing").string(), ""));
    EXPECT_FALSE(launcher_->launch("\"\"", ""));
    EXPECT_FALSE(fs::exists(dir_ / "record"));
    expectNoChildLeft();
}

}  // namespace
}  // namespace platform::linux_adapter
