// The helper the udev rule runs, on a sysfs-like tree holding each fixture.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/platform/linux/hid/fixtures.h"
#include "tests/support/process.h"

namespace {

class HidMatchTest : public ::testing::Test {
protected:
    void SetUp() override { root_ = testsupport::makeTempDir("hid-match"); }
    void TearDown() override { testsupport::removeTree(root_); }

    // The helper's output for a hidraw node whose device has that descriptor; status in *status.
    std::string match(const std::string& descriptor, int* status) {
        const std::string node = root_ + "/" + descriptor;
        mkdir(node.c_str(), 0755);
        mkdir((node + "/device").c_str(), 0755);
        const auto bytes = hidtest::fixture(descriptor);
        std::ofstream(node + "/device/report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return testsupport::run({VESKOSD_HID_MATCH, node}, status);
    }

    std::string root_;
};

TEST_F(HidMatchTest, NodesOfTheButtonCollectionsAreMarked) {
    for (const char* name : {"panel_keys", "select_keys", "extended_usage", "multi_collection"}) {
        int status = -1;
        EXPECT_EQ(match(name, &status), "VESKOSD_HID=1\n") << name;
        EXPECT_EQ(status, 0) << name;
    }
}

TEST_F(HidMatchTest, OtherNodesAreLeftAlone) {
    int status = -1;
    EXPECT_EQ(match("keyboard_consumer", &status), "");
    EXPECT_EQ(status, 0);

    EXPECT_EQ(match("truncated", &status), "");
    EXPECT_EQ(status, 1);

    EXPECT_EQ(testsupport::run({VESKOSD_HID_MATCH, root_ + "/absent"}, &status), "");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(testsupport::run({VESKOSD_HID_MATCH}, &status), "");
    EXPECT_EQ(status, 2);
}

}  // namespace
