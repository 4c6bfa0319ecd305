// The daemon as a whole process on the simulated machine, driven through its control socket.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;

TEST(SingleInstance, SecondStartInTheSameRuntimeDirExitsAtOnceWithALine) {
    Daemon first;
    auto second = e2e::runVeskosd({"--machine", "sim", "--runtime-dir", first.runtimeDir()}, 5000);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "veskosd: another instance holds " + first.runtimeDir() +
                              "/VESKOSD MediaButtons Mutex; this start ends\n");
    EXPECT_LT(second.seconds, 2.0);
    // The first one is untouched and still answers on its socket.
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.status()["hMainWnd"], "VESKOSD");
}

TEST(SingleInstance, AnotherRuntimeDirIsAnotherSession) {
    Daemon a;
    Daemon b;
    EXPECT_TRUE(a.running());
    EXPECT_TRUE(b.running());
}

TEST(Status, ShowsTheProcessWideStateAfterStartUp) {
    Daemon d({"--machine", "sim", "--sim-model", "2", "--os-version", "5"});
    auto s = d.status();
    EXPECT_EQ(s["hMainWnd"], "VESKOSD");
    EXPECT_EQ(s["MajorVersion"], 5);
    EXPECT_EQ(s["bOSDModel"], 0);  // the display controller's model
    EXPECT_EQ(s["dwModelID"], 2);

    EXPECT_EQ(s["bHIDEnabled"], 1);
    // Start-up read the simulated mixer's level of 32767 of 65535.
    EXPECT_EQ(s["VolumeCount"], 49);
    EXPECT_EQ(s["szVolumeCount"], "49");
    EXPECT_EQ(s["dwPowerButtonAction"], -1);
    // The model query passed on the length of its reply: a 16-byte header and one integer.
    EXPECT_EQ(s["dwACPIMethodOutSize"], 20);
    EXPECT_NE(s["hUARTDevice"], "INVALID_HANDLE_VALUE");  // its serial line is open

    EXPECT_EQ(s["VolumeCriticalSection"]["spinCount"], 0x80000400u);
    EXPECT_EQ(s["VESKOSDUARTSendCriticalSection"]["spinCount"], 0x80000400u);
    EXPECT_EQ(s["sim"]["model"], 2);
    const std::string dataDir = d.runtimeDir() + "/data/";
    EXPECT_EQ(s["szConfigurationFile"], dataDir);
    EXPECT_EQ(s["szBrightnessFile"], dataDir);
}

TEST(Status, StartUpReadsTheDefaultOutputsLevelAndMute) {
    Daemon d;
    auto s = d.status();
    EXPECT_EQ(s["VolumeCount"], 50);
    EXPECT_EQ(s["szVolumeCount"], "50");
    EXPECT_EQ(s["fVolumeMute"], 0);
    EXPECT_EQ(s["sim"]["audio"]["endpoints"][0]["name"], "Speakers");
}

TEST(Post, VolumeEventMarksTheVolumeBar) {
    Daemon d;
    auto posted = d.client({"post", "1281", "512", "32"});
    EXPECT_EQ(posted.status, 0) << posted.err;
    EXPECT_EQ(posted.err, "");
    auto s = d.status();
    EXPECT_EQ(s["bOSDShowVolume"], 1);
    EXPECT_EQ(s["bOSDShowBrightness"], 0);
    // Hex numbers mean the same.
    EXPECT_EQ(d.client({"post", "0x501", "0x200", "0x11"}).status, 0);
    s = d.status();
    EXPECT_EQ(s["bOSDShowVolume"], 0);
    EXPECT_EQ(s["bOSDShowBrightness"], 1);
}

TEST(Post, WrongWParamChangesNothing) {
    Daemon d;
    EXPECT_EQ(d.client({"post", "1281", "513", "17"}).status, 0);
    auto s = d.status();
    EXPECT_EQ(s["bOSDShowVolume"], 0);
    EXPECT_EQ(s["bOSDShowBrightness"], 0);
}

TEST(Post, CloseLeavesTheDaemonRunning) {
    Daemon d;
    EXPECT_EQ(d.client({"post", "16", "0", "0"}).status, 0);
    EXPECT_EQ(d.client({"post", "0x0111", "2", "0"}).status, 0);  // the Cancel command too
    EXPECT_NO_THROW(d.status());
    EXPECT_TRUE(d.running());
}

TEST(Post, BadArgumentsAreRefusedBeforeSending) {
    Daemon d;
    auto r = d.client({"post", "1281", "512", "thirty-two"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("post takes three numbers"), std::string::npos) << r.err;
    r = d.client({"post", "4294967296", "0", "0"});
    EXPECT_EQ(r.status, 1);
}

TEST(Post, WithNoInstanceRunningFailsClearly) {
    e2e::TempDir empty;
    auto r = e2e::runVeskosd({"--runtime-dir", empty.path(), "post", "1281", "512", "32"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no veskosd instance answers"), std::string::npos) << r.err;
    r = e2e::runVeskosd({"--runtime-dir", empty.path(), "status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

TEST(ControlSocket, IsPrivateToItsOwner) {
    Daemon d;
    struct stat st {};
    ASSERT_EQ(stat(d.socketPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ControlSocket, GarbageGetsAnErrorAndTheDaemonStaysUp) {
    Daemon d;
    EXPECT_EQ(d.raw("garbage\n"), "{\"error\":\"request is not valid JSON\",\"ok\":false}\n");
    EXPECT_NE(d.raw(std::string("\x00\xff\x01\n", 4)).find("\"ok\":false"), std::string::npos);
    EXPECT_NE(d.raw(R"({"op":"post","message":1281,"wParam":512})"
                    "\n")
                  .find("lParam"),
              std::string::npos);
    EXPECT_NE(d.raw(R"({"op":"reboot"})"
                    "\n")
                  .find("unknown op"),
              std::string::npos);
    EXPECT_NE(d.raw(std::string(10000, 'x')).find("request too long"), std::string::npos);
    // A request cut off by the client closing is still answered.
    EXPECT_NE(d.raw(R"({"op":"status"})").find("\"ok\":true"), std::string::npos);
    auto s = d.status();
    EXPECT_EQ(s["bOSDShowVolume"], 0);
    EXPECT_TRUE(d.running());
}

TEST(ControlSocket, ASilentClientDoesNotHoldUpOthers) {
    Daemon d;
    int silent[4];
    for (int& fd : silent) {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, d.socketPath().c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(d.client({"post", "1281", "512", "36"}).status, 0);
    EXPECT_EQ(d.status()["bOSDShowVolume"], 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    for (int fd : silent) close(fd);
}

TEST(Signals, TerminationEndsTheProcessCleanly) {
    Daemon d;
    EXPECT_EQ(d.stop(SIGTERM), 0);
}

TEST(RuntimeDir, OneOpenToOthersIsRefused) {
    e2e::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    auto r = e2e::runVeskosd({"--machine", "sim", "--runtime-dir", dir.path()}, 5000);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("must be 0700"), std::string::npos) << r.err;
}

TEST(Options, HelpAndVersionAnswerWithoutStarting) {
    auto v = e2e::runVeskosd({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_NE(v.out.find("0.1.0"), std::string::npos);
    auto h = e2e::runVeskosd({"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("--sim-model"), std::string::npos);
    auto bad = e2e::runVeskosd({"--sim-model", "4"});
    EXPECT_NE(bad.status, 0);
}

}  // namespace
