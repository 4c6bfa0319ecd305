// The launcher under a systemd user manager, mocked on a private session bus: the manager starts
// each program as a service of its own; without it the program still runs, detached.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/linux/gio/glib_launcher.h"
#include "tests/support/user_manager_mock.h"

namespace platform::linux_adapter {
namespace {

namespace fs = std::filesystem;
using testsupport::UserManagerMock;
using Clock = std::chrono::steady_clock;

// Records how it was started, then renames the record into place so a reader never sees half.
constexpr const char* kRecorder = R"(#!/usr/bin/python3
import os, sys
here = os.path.dirname(os.path.abspath(__file__))
lines = ['arg=' + a for a in sys.argv[1:]]
lines.append('session_leader=%d' % (os.getsid(0) == os.getpid()))
lines.append('parent=%d' % os.getppid())
with open(os.path.join(here, 'record.tmp'), 'w') as out:
    out.write('\n'.join(lines) + '\n')
os.rename(os.path.join(here, 'record.tmp'), os.path.join(here, 'record'))
)";

constexpr const char* kFallback = "veskosd: launched programs run as children of veskosd: ";

class UserManagerLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veskosd launch XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // A "-" in the name, which the unit name has to escape.
        program_ = dir_ / "rec-prog";
        std::ofstream(program_) << kRecorder;
        fs::permissions(program_, fs::perms::owner_all);
        setenv("MANAGERPID", "1", 1);
    }
    void TearDown() override {
        unsetenv("MANAGERPID");
        fs::remove_all(dir_);
    }

    // The record of the latest run, once the program wrote it; empty after the deadline.
    std::string record() {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            std::ifstream in(dir_ / "record");
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                fs::remove(dir_ / "record");
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    static std::vector<nlohmann::json> requests(const UserManagerMock& manager) {
        std::vector<nlohmann::json> list;
        std::istringstream lines(manager.requests());
        for (std::string line; std::getline(lines, line);)
            list.push_back(nlohmann::json::parse(line));
        return list;
    }

    static std::size_t fallbackLines(const std::string& err) {
        std::size_t n = 0;
        for (auto at = err.find(kFallback); at != std::string::npos;
             at = err.find(kFallback, at + 1)) {
            ++n;
        }
        return n;
    }

    fs::path dir_;
    fs::path program_;
    std::unique_ptr<Launcher> launcher_ = makeLauncher();
};

TEST_F(UserManagerLaunchTest, TheManagerStartsEachLaunchAsATransientServiceOfItsOwn) {
    UserManagerMock manager;
    const std::string path = program_.string();
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(launcher_->launch("\"" + path + "\"", "--flag \"two words\""));
    const std::string got = record();
    ASSERT_TRUE(launcher_->launch("\"" + path + "\"", ""));
    const std::string second = record();
    const std::string err = ::testing::internal::GetCapturedStderr();

    // Run by the manager, not by us, with the arguments split as before.
    EXPECT_EQ(got, "arg=--flag\narg=two words\nsession_leader=1\nparent=" +
                       std::to_string(manager.pid()) + "\n");
    EXPECT_EQ(second, "session_leader=1\nparent=" + std::to_string(manager.pid()) + "\n");
    EXPECT_EQ(fallbackLines(err), 0u) << err;

    const std::vector<nlohmann::json> asked = requests(manager);
    ASSERT_EQ(asked.size(), 2u) << manager.requests();
    const std::regex name(R"(app-veskosd-rec\\x2dprog@[0-9a-f]{32}\.service)");
    for (const nlohmann::json& r : asked) {
        EXPECT_TRUE(std::regex_match(r["name"].get<std::string>(), name)) << r["name"];
        EXPECT_EQ(r["mode"], "fail");
        const nlohmann::json& p = r["properties"];
        EXPECT_EQ(p["Type"], "exec");
        EXPECT_EQ(p["ExitType"], "cgroup");
        EXPECT_EQ(p["Slice"], "app.slice");
        EXPECT_EQ(p["CollectMode"], "inactive-or-failed");
        EXPECT_EQ(p["Description"], path + " launched by veskosd");
        EXPECT_EQ(r["aux"], nlohmann::json::array());
    }
    EXPECT_NE(asked[0]["name"], asked[1]["name"]);
    EXPECT_EQ(asked[0]["properties"]["ExecStart"],
              nlohmann::json::parse(R"([[")" + path + R"(", [")" + path +
                                    R"(", "--flag", "two words"], false]])"));
}

TEST_F(UserManagerLaunchTest, AnAddressIsOpenedByGioThatTheManagerRuns) {
    UserManagerMock manager;
    const fs::path gio = dir_ / "gio";
    fs::rename(program_, gio);
    const std::string path = dir_.string() + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(launcher_->launch("https://example.org/a?b=c", ""));
    EXPECT_EQ(record(), "arg=open\narg=https://example.org/a?b=c\nsession_leader=1\nparent=" +
                            std::to_string(manager.pid()) + "\n");
    const std::vector<nlohmann::json> asked = requests(manager);
    ASSERT_EQ(asked.size(), 1u) << manager.requests();
    EXPECT_TRUE(asked[0]["name"].get<std::string>().starts_with("app-veskosd-gio@"));
    EXPECT_EQ(asked[0]["properties"]["ExecStart"][0][1],
              nlohmann::json::parse(R"([")" + gio.string() +
                                    R"(", "open", "https://example.org/a?b=c"])"));
}

// Each way of missing the manager: the program is spawned as before, detached, and the reason
// is said once on stderr (again only when it changes).
TEST_F(UserManagerLaunchTest, WithoutTheManagerTheProgramStillRunsDetachedAndTheReasonIsSaidOnce) {
    const std::string quoted = "\"" + program_.string() + "\"";
    const std::string mine = "parent=" + std::to_string(getpid()) + "\n";
    const auto detached = [&](const std::string& what, pid_t managerPid) {
        const std::string got = record();
        EXPECT_NE(got.find("arg=x\nsession_leader=1\n"), std::string::npos) << what << ": " << got;
        EXPECT_EQ(got.find(mine), std::string::npos) << what << ": " << got;
        EXPECT_EQ(got.find("parent=" + std::to_string(managerPid) + "\n"), std::string::npos)
            << what << ": " << got;
    };
    {
        UserManagerMock bus(UserManagerMock::Answer::Absent);
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        detached("no manager on the bus", -2);
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        detached("no manager on the bus, again", -2);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(fallbackLines(err), 1u) << err;
    }
    {
        UserManagerMock manager(UserManagerMock::Answer::Refuse);
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        detached("a refusal", manager.pid());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(fallbackLines(err), 1u) << err;
        EXPECT_NE(err.find("Cannot set property ExitType"), std::string::npos) << err;
        EXPECT_EQ(requests(manager).size(), 1u);
    }
    {
        // A manager that never answers costs the button's thread a bounded wait; the bound is
        // generous, the test is about it not being open-ended.
        UserManagerMock manager(UserManagerMock::Answer::Never);
        ::testing::internal::CaptureStderr();
        const auto start = Clock::now();
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
        detached("no answer", manager.pid());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(fallbackLines(err), 1u) << err;
        EXPECT_EQ(requests(manager).size(), 1u);
    }
    {
        const std::string nowhere = "unix:path=" + (dir_ / "no-bus").string();
        setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        detached("no user bus", -2);
        const std::string err = ::testing::internal::GetCapturedStderr();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        EXPECT_EQ(fallbackLines(err), 1u) << err;
    }
    {
        // Not a service of the manager: it is not asked even when it is there.
        UserManagerMock manager;
        unsetenv("MANAGERPID");
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(launcher_->launch(quoted, "x"));
        detached("not a service", manager.pid());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(fallbackLines(err), 1u) << err;
        EXPECT_TRUE(requests(manager).empty()) << manager.requests();
    }
}

}  // namespace
}  // namespace platform::linux_adapter
