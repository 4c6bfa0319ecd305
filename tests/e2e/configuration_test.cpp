// The button configuration as the running daemon reads it from its data directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "tests/e2e/harness.h"

namespace {

TEST(ConfigurationE2E, StatusShowsTheRecordsAndTheReports) {
    e2e::TempDir data;
    std::ofstream(data.path() + "/QZConfiguration.xml")
        << "<?xml version=\"1.0\"?>\n<QZSystemConfiguration><Buttons>"
           "<Button Id=\"VolumeDownButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
           "ActionValue=\"/usr/bin/true --x\" AutoRepeatEnabled=\"true\" "
           "AutoRepeatInterval=\"300\"/>"
           "<Button Id=\"VolumeMuteButton\" Enabled=\"TRUE\"/>"
           "</Buttons></QZSystemConfiguration>\n";
    e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--data-dir", data.path()});
    auto s = d.status();
    EXPECT_EQ(s["szConfigurationFile"], data.path() + "/QZConfiguration.xml");
    EXPECT_EQ(s["VolumeDownButton"], (nlohmann::json{{"Enabled", 1},
                                                     {"Action", 1},
                                                     {"ActionValue", "/usr/bin/true --x"},
                                                     {"AutoRepeatEnabled", 1},
                                                     {"AutoRepeatInterval", 300}}));
    EXPECT_EQ(s["VolumeMuteButton"]["Action"], 2);  // back at its default
    EXPECT_EQ(s["VolumeUpButton"]["AutoRepeatInterval"], 30);
    ASSERT_EQ(s["eventLog"].size(), 1u);
    EXPECT_EQ(s["eventLog"][0]["id"], "0xC0020103");
    EXPECT_EQ(s["eventLog"][0]["text"],
              "The system configuration file does not contain a valid configuration change for "
              "any of the Volume and Mute control buttons.");
    // The log itself got the report under the program's source, with its data size.
    EXPECT_EQ(s["sim"]["eventLog"][0]["source"], "VESKOSD");
    EXPECT_EQ(s["sim"]["eventLog"][0]["dataSize"], 248);
}

TEST(ConfigurationE2E, AFifoOrADirectoryAsTheFileNeitherHoldsUpStartUpNorIsReported) {
    for (const bool fifo : {true, false}) {
        e2e::TempDir data;
        const std::string file = data.path() + "/QZConfiguration.xml";
        ASSERT_EQ(fifo ? mkfifo(file.c_str(), 0600) : mkdir(file.c_str(), 0700), 0);
        // The daemon answers status only once start-up is over.
        e2e::Daemon d({"--machine", "sim", "--osd", "headless", "--data-dir", data.path()});
        auto s = d.status();
        EXPECT_TRUE(s["eventLog"].empty()) << fifo;
        EXPECT_TRUE(s["sim"]["eventLog"].empty()) << fifo;
        EXPECT_EQ(s["VolumeUpButton"]["AutoRepeatInterval"], 30) << fifo;
    }
}

TEST(ConfigurationE2E, TheControllerModelReadsNoConfiguration) {
    e2e::TempDir data;
    std::ofstream(data.path() + "/QZConfiguration.xml") << "not xml at all";
    e2e::Daemon d(
        {"--machine", "sim", "--sim-model", "2", "--osd", "headless", "--data-dir", data.path()});
    EXPECT_TRUE(d.status()["eventLog"].empty());
}

}  // namespace
