// The state files on Windows' own file calls: whole or nothing, no directory taken for a file,
// "EVERYONE" when others may write.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/state_files.h"
#include "platform/win32/files/everyone_access.h"

namespace {

class StateFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "veskosd-state-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(dir_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"a", "b", "a.Xy12Z9", "a.tooLong1", "b.x-1234", "c.abcdef"}) {
            DeleteFileA((dir_ + "\\" + name).c_str());
        }
        RemoveDirectoryA((dir_ + "\\d.abcdef").c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string path(const char* name) const { return dir_ + "\\" + name; }

    std::string dir_;
};

TEST_F(StateFiles, WrittenWholeAndReadOnlyAtTheirSize) {
    const std::vector<uint8_t> bytes{1, 2, 3, 4};
    EXPECT_EQ(platform::probeFile(path("a")), platform::FileProbe::NotFound);
    ASSERT_TRUE(platform::writeStateFile(path("a"), bytes, 0644));
    EXPECT_EQ(platform::probeFile(path("a")), platform::FileProbe::Opens);
    std::vector<uint8_t> out;
    EXPECT_EQ(platform::readStateFile(path("a"), 4, out), platform::StateRead::Read);
    EXPECT_EQ(out, bytes);
    EXPECT_EQ(platform::readStateFile(path("a"), 5, out), platform::StateRead::WrongSize);
    EXPECT_TRUE(out.empty());
    // Replaced, never appended to.
    ASSERT_TRUE(platform::writeStateFile(path("a"), std::vector<uint8_t>{9}, 0644));
    EXPECT_EQ(platform::readStateFile(path("a"), 1, out), platform::StateRead::Read);
    EXPECT_EQ(out, std::vector<uint8_t>{9});
    EXPECT_TRUE(platform::removeStateFile(path("a")));
    EXPECT_FALSE(platform::removeStateFile(path("a")));
    EXPECT_EQ(platform::readStateFile(path("a"), 1, out), platform::StateRead::NotOpened);
}

TEST_F(StateFiles, ADirectoryInAFilesPlaceIsNoFile) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(CreateDirectoryA(path("d.abcdef").c_str(), nullptr));
    EXPECT_EQ(platform::readStateFile(path("d.abcdef"), 0, out), platform::StateRead::NotOpened);
    EXPECT_NE(platform::readRegularFile(path("d.abcdef"), 10, out), platform::FileRead::Read);
}

TEST_F(StateFiles, ReadRegularFileRefusesWhatIsTooLarge) {
    ASSERT_TRUE(platform::writeStateFile(path("a"), std::vector<uint8_t>(10, 7), 0644));
    std::vector<uint8_t> out;
    EXPECT_EQ(platform::readRegularFile(path("a"), 9, out), platform::FileRead::TooLarge);
    EXPECT_EQ(platform::readRegularFile(path("a"), 10, out), platform::FileRead::Read);
    EXPECT_EQ(out.size(), 10u);
    EXPECT_EQ(platform::readRegularFile(path("b"), 10, out), platform::FileRead::Missing);
}

TEST_F(StateFiles, OnlyOurInterruptedWritesAreSwept) {
    for (const char* name : {"a.Xy12Z9", "a.tooLong1", "b.x-1234", "c.abcdef"}) {
        HANDLE h = CreateFileA(path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
        CloseHandle(h);
    }
    ASSERT_TRUE(CreateDirectoryA(path("d.abcdef").c_str(), nullptr));
    const auto ours = [](std::string_view n) { return n == "a" || n == "b" || n == "d"; };
    EXPECT_EQ(platform::removeStaleTemporaries(dir_, ours), 1u);
    EXPECT_EQ(GetFileAttributesA(path("a.Xy12Z9").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(path("a.tooLong1").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(path("c.abcdef").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(path("d.abcdef").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Wine keeps no descriptor on its files (it reports one made from the Unix mode), so what is
// checked is the descriptor the new file is created with.
std::wstring descriptorText(platform::win32::StateFileSecurity& security) {
    if (!security.get()) return L"(default)";
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            security.get()->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
            nullptr)) {
        return L"(unreadable)";
    }
    std::wstring out(text);
    LocalFree(text);
    return out;
}

TEST(StateFileSecurity, TheSharedModeOpensTheFileToEveryoneAndNothingElse) {
    platform::win32::StateFileSecurity shared(0666);
    EXPECT_EQ(descriptorText(shared), L"D:(A;;FA;;;WD)");
    platform::win32::StateFileSecurity own(0644);
    EXPECT_EQ(descriptorText(own), L"(default)");
}

}  // namespace
