// The Win32 adapters against the real system calls (under Wine in CI).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/win32/control/pipe_client.h"
#include "platform/win32/control/pipe_io.h"
#include "platform/win32/control/pipe_name.h"
#include "platform/win32/control/pipe_server.h"
#include "platform/win32/session/instance_mutex.h"
#include "platform/win32/wide.h"

namespace {

namespace win32 = platform::win32;

TEST(InstanceMutex, HeldByItsMakerAndRefusedToEveryoneElse) {
    win32::InstanceMutex first;
    ASSERT_TRUE(first.acquire("veskosd test mutex A"));
    // The daemon takes it before start-up and the app asks again: the holder keeps it.
    EXPECT_TRUE(first.acquire("veskosd test mutex A"));
    EXPECT_FALSE(first.acquire("veskosd test mutex B"));
    // Another holder of the same name, as a second process would be.
    win32::InstanceMutex second;
    EXPECT_FALSE(second.acquire("veskosd test mutex A"));
    EXPECT_TRUE(second.acquire("veskosd test mutex B"));
}

// The request line and the reply the handler gave, through a real client connection.
std::string ask(const std::string& line) {
    HANDLE pipe = win32::openPipeClient(win32::controlPipeName(*win32::currentUserSid()));
    if (pipe == INVALID_HANDLE_VALUE) return "no pipe: " + std::to_string(GetLastError());
    std::string reply;
    const bool ok =
        win32::writePipe(pipe, line, 5000) && win32::readPipeLine(pipe, reply, 4096, 5000);
    CloseHandle(pipe);
    return ok ? reply : "no reply";
}

std::atomic<int> requests{0};

void echo(std::string_view line, const control::Respond& respond) {
    ++requests;
    respond("echo " + std::string(line));
}

TEST(ControlPipe, AnswersEachClientAndOutlivesOneThatSaysNothing) {
    ASSERT_TRUE(win32::currentUserSid().has_value());
    std::string error;
    ASSERT_TRUE(win32::startPipeServer(echo, error)) << error;

    EXPECT_EQ(ask("{\"op\":\"status\"}\n"), "echo {\"op\":\"status\"}");
    // A client that connects and never writes holds up nobody else.
    const std::wstring name = win32::widen(win32::controlPipeName(*win32::currentUserSid()));
    HANDLE silent = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(silent, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ask("second\n"), "echo second");
    // An over-long line is dropped without an answer.
    EXPECT_EQ(ask(std::string(5000, 'x') + "\n"), "no reply");
    CloseHandle(silent);
    EXPECT_EQ(requests.load(), 2);
}

}  // namespace
