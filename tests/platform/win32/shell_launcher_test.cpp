// ShellExecuteW for real: a batch file started with a parameter text writes what it got.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/win32/shell/shell_launcher.h"

namespace {

std::string tempPath(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "veskosd-launch-" + std::to_string(GetCurrentProcessId()) + name;
}

// The file's first line once it has one, or empty after 20 s.
std::string awaitLine(const std::string& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(file);
        std::string line;
        if (in && std::getline(in, line) && !line.empty()) return line;
        std::this_thread::yield();
    }
    return {};
}

TEST(ShellLauncher, StartsAProgramWithItsParameterTextAndRefusesAMissingOne) {
    const std::string bat = tempPath(" run.bat");
    const std::string out = tempPath("-out.txt");
    DeleteFileA(out.c_str());
    {
        std::ofstream script(bat);
        script << "@echo %1 %2> \"" << out << "\"\r\n";
    }
    platform::win32::ShellLauncher launcher;
    // Quoted, as a configuration gives a path with a space in it.
    EXPECT_TRUE(launcher.launch("\"" + bat + "\"", "first second"));
    EXPECT_EQ(awaitLine(out), "first second");
    EXPECT_FALSE(launcher.launch(tempPath("-missing.exe"), ""));
    DeleteFileA(out.c_str());
    DeleteFileA(bat.c_str());
}

}  // namespace
