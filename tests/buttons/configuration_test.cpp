#include "buttons/configuration.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "app/globals.h"
#include "platform/linux/xml/libxml_reader.h"
#include "platform/ports.h"
#include "tests/support/process.h"

namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string document(const std::string& buttons) {
    return std::string(kDecl) + "<QZSystemConfiguration><Buttons>" + buttons +
           "</Buttons></QZSystemConfiguration>\n";
}

const ButtonConfiguration kMuteDefault{1, MuteVolume, {}, 0, 0};
const ButtonConfiguration kUpDefault{1, IncreaseVolume, {}, 1, 30};
const ButtonConfiguration kDownDefault{1, DecreaseVolume, {}, 1, 30};

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        resetButtonConfiguration();
        platform::Ports p;
        p.xmlReaders = std::make_unique<platform::linux_adapter::LibXmlReaders>();
        platform::installPorts(std::move(p));
        dir = testsupport::makeTempDir("veskosd-config");
        szConfigurationFile = dir + "/QZConfiguration.xml";
    }
    void TearDown() override {
        testsupport::removeTree(dir);
        resetButtonConfiguration();
        platform::installPorts({});
    }
    void read(const std::string& text) {
        std::ofstream(szConfigurationFile, std::ios::binary) << text;
        CheckButtonConfiguration();
    }
    std::vector<uint32_t> ids() {
        std::vector<uint32_t> out;
        for (const auto& e : loggedEvents()) out.push_back(e.id);
        return out;
    }
    void expectDefaults() {
        EXPECT_EQ(VolumeMuteButton.get(), kMuteDefault);
        EXPECT_EQ(VolumeUpButton.get(), kUpDefault);
        EXPECT_EQ(VolumeDownButton.get(), kDownDefault);
    }
    std::string dir;
};

// What is applied, and how.

TEST_F(ConfigurationTest, AValidFileReplacesTheNamedRecords) {
    read(document(
        "<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
        "ActionValue=\"/usr/bin/foot -e htop\" AutoRepeatEnabled=\"true\" "
        "AutoRepeatInterval=\"250\"/>"
        "<Button Id=\"VolumeDownButton\" Enabled=\"false\" Action=\"ToggleDisplayOnOff\"/>"));
    EXPECT_TRUE(ids().empty());
    EXPECT_EQ(VolumeUpButton.get(),
              (ButtonConfiguration{1, LaunchExecutable, "/usr/bin/foot -e htop", 1, 250}));
    EXPECT_EQ(VolumeDownButton.get(), (ButtonConfiguration{0, ToggleDisplayOnOff, {}, 0, 0}));
    EXPECT_EQ(VolumeMuteButton.get(), kMuteDefault);
}

TEST_F(ConfigurationTest, AnElementStartsFromAZeroedRecord) {
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\"/>"
                 "<Button Id=\"VolumeMuteButton\"/>"));
    EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, 0, {}, 0, 0}));
    EXPECT_EQ(VolumeMuteButton.get(), (ButtonConfiguration{0, 0, {}, 0, 0}));
    EXPECT_TRUE(ids().empty());
}

TEST_F(ConfigurationTest, ActionValueCountsOnlyAfterLaunchExecutable) {
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\" ActionValue=\"/bin/x\" "
                 "Action=\"LaunchExecutable\"/>"
                 "<Button Id=\"VolumeDownButton\" Action=\"MuteVolume\" ActionValue=\"/bin/y\"/>"));
    EXPECT_EQ(VolumeUpButton.get().Action, LaunchExecutable);
    EXPECT_EQ(VolumeUpButton.get().ActionValue, "");
    EXPECT_EQ(VolumeDownButton.get().ActionValue, "");
}

TEST_F(ConfigurationTest, UnknownActionsAndAttributesAreIgnored) {
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"Reboot\" Colour=\"red\" "
                 "Action=\"x\"/>"));
    // A repeated attribute is not well-formed XML.
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NOT_WELL_FORMED}));
    resetButtonConfiguration();
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"Reboot\" "
                 "Colour=\"red\"/>"));
    EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, 0, {}, 0, 0}));
}

TEST_F(ConfigurationTest, IntervalRules) {
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\" AutoRepeatEnabled=\"true\" "
                 "AutoRepeatInterval=\"0\"/>"
                 "<Button Id=\"VolumeDownButton\" Enabled=\"true\" AutoRepeatEnabled=\"true\" "
                 "AutoRepeatInterval=\"soon\"/>"
                 "<Button Id=\"VolumeMuteButton\" Enabled=\"true\" AutoRepeatEnabled=\"true\" "
                 "AutoRepeatInterval=\"4000ms\"/>"));
    EXPECT_TRUE(ids().empty());
    EXPECT_EQ(VolumeUpButton.get().AutoRepeatEnabled, 0);  // 0 switches auto-repeat off
    EXPECT_EQ(VolumeDownButton.get().AutoRepeatInterval, 0);
    EXPECT_EQ(VolumeDownButton.get().AutoRepeatEnabled, 0);
    EXPECT_EQ(VolumeMuteButton.get().AutoRepeatInterval, 4000);
    EXPECT_EQ(VolumeMuteButton.get().AutoRepeatEnabled, 1);
}

TEST_F(ConfigurationTest, AnIntervalNotStartingWithADigitOrMinusIsZero) {
    for (const char* v : {"+300", " 300", "\t300", ""}) {
        resetButtonConfiguration();
        read(document(std::string("<Button Id=\"VolumeUpButton\" Enabled=\"true\" "
                                  "AutoRepeatEnabled=\"true\" AutoRepeatInterval=\"") +
                      v + "\"/>"));
        EXPECT_TRUE(ids().empty()) << v;
        EXPECT_EQ(VolumeUpButton.get(), (ButtonConfiguration{1, 0, {}, 0, 0})) << v;
    }
}

TEST_F(ConfigurationTest, OutOfRangeIntervalsAreInvalid) {
    for (const char* v : {"100", "199", "4001", "-200", "99999999999999999999"}) {
        resetButtonConfiguration();
        read(document(std::string("<Button Id=\"VolumeUpButton\" Enabled=\"true\" "
                                  "AutoRepeatInterval=\"") +
                      v + "\"/>"));
        EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE})) << v;
        EXPECT_EQ(VolumeUpButton.get(), kUpDefault) << v;
    }
}

TEST_F(ConfigurationTest, TheFirstElementForAnIdWins) {
    read(
        document("<Button Id=\"VolumeDownButton\" Enabled=\"true\" Action=\"MuteVolume\"/>"
                 "<Button Id=\"VolumeDownButton\" Enabled=\"false\" Action=\"IncreaseVolume\"/>"));
    EXPECT_EQ(VolumeDownButton.get(), (ButtonConfiguration{1, MuteVolume, {}, 0, 0}));
}

TEST_F(ConfigurationTest, PrefixesAreIgnoredButNamesAreCaseSensitive) {
    read(std::string(kDecl) +
         "<c:QZSystemConfiguration xmlns:c=\"urn:x\"><c:Buttons>"
         "<c:Button Id=\"VolumeMuteButton\" Enabled=\"false\"/>"
         "<button Id=\"VolumeUpButton\" Enabled=\"false\"/>"
         "</c:Buttons></c:QZSystemConfiguration>");
    EXPECT_EQ(VolumeMuteButton.get().Enabled, 0);
    EXPECT_EQ(VolumeUpButton.get(), kUpDefault);
}

// Invalid values and what is kept.

TEST_F(ConfigurationTest, ACapitalTrueResetsThatButtonAndKeepsTheOthers) {
    read(
        document("<Button Id=\"VolumeMuteButton\" Enabled=\"false\"/>"
                 "<Button Id=\"VolumeUpButton\" Enabled=\"True\"/>"
                 "<Button Id=\"VolumeDownButton\" Enabled=\"false\"/>"));
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
    EXPECT_EQ(VolumeMuteButton.get().Enabled, 0);
    EXPECT_EQ(VolumeUpButton.get(), kUpDefault);
    EXPECT_EQ(VolumeDownButton.get().Enabled, 0);
}

TEST_F(ConfigurationTest, AnInvalidValueBeforeTheIdResetsNothingAndAppliesNothing) {
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"false\"/>"
                 "<Button Enabled=\"yes\" Id=\"VolumeUpButton\"/>"));
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
    EXPECT_EQ(VolumeUpButton.get().Enabled, 0);
}

TEST_F(ConfigurationTest, AnOverlongCommandLineIsRefusedNotCut) {
    const std::string ok(1023, 'x'), tooLong(1024, 'x');
    read(
        document("<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
                 "ActionValue=\"" +
                 ok +
                 "\"/>"
                 "<Button Id=\"VolumeDownButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
                 "ActionValue=\"" +
                 tooLong + "\"/>"));
    EXPECT_EQ(VolumeUpButton.get().ActionValue, ok);
    EXPECT_EQ(VolumeDownButton.get(), kDownDefault);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
}

TEST_F(ConfigurationTest, AnUnknownIdIsSkippedSilently) {
    read(document("<Button Id=\"PowerButton\" Enabled=\"false\"/>"));
    EXPECT_TRUE(ids().empty());  // the Button still counts for the end-of-file test
    expectDefaults();
}

// What the end of the document checks.

TEST_F(ConfigurationTest, AUtf16FileIsReadLikeAUtf8One) {
    const std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<QZSystemConfiguration><Buttons>"
        u"<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
        u"ActionValue=\"/usr/bin/caf\u00e9 \u20ac\"/></Buttons></QZSystemConfiguration>\r\n";
    for (const char* mark : {"\xFF\xFE", "\xFE\xFF"}) {
        resetButtonConfiguration();
        const bool le = mark[0] == '\xFF';
        std::string bytes = mark;
        for (char16_t c : text) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            bytes += le ? std::string{lo, hi} : std::string{hi, lo};
        }
        read(bytes);
        EXPECT_TRUE(ids().empty()) << le;
        EXPECT_EQ(
            VolumeUpButton.get(),
            (ButtonConfiguration{1, LaunchExecutable, "/usr/bin/caf\xC3\xA9 \xE2\x82\xAC", 0, 0}))
            << le;
    }
}

TEST_F(ConfigurationTest, NoFileKeepsTheDefaultsAndLogsNothing) {
    CheckButtonConfiguration();
    expectDefaults();
    EXPECT_TRUE(ids().empty());
}

TEST_F(ConfigurationTest, WithoutTheDeclarationNothingIsApplied) {
    read(
        "<QZSystemConfiguration><Buttons><Button Id=\"VolumeUpButton\" Enabled=\"false\"/>"
        "</Buttons></QZSystemConfiguration>");
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
    expectDefaults();
}

TEST_F(ConfigurationTest, AButtonWithoutIdStillCountsAndLogsNothing) {
    read(document("<Button Enabled=\"false\"/>"));
    EXPECT_TRUE(ids().empty());
    expectDefaults();
}

TEST_F(ConfigurationTest, MissingRootButtonsOrButtonIsReported) {
    read(std::string(kDecl) + "<QZSystemConfiguration><Other/></QZSystemConfiguration>");
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
    resetButtonConfiguration();
    read(std::string(kDecl) +
         "<Buttons><Button Id=\"VolumeUpButton\" Enabled=\"false\"/></Buttons>");
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
    EXPECT_EQ(VolumeUpButton.get(), kUpDefault);
}

TEST_F(ConfigurationTest, BothReportsCanComeFromOneReading) {
    read(std::string(kDecl) +
         "<QZSystemConfiguration><Buttons>"
         "<Button Id=\"VolumeUpButton\" Enabled=\"maybe\"/>"
         "</Buttons></QZSystemConfiguration>");
    // The only counted Button was invalid, but it was seen: one report.
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
}

// Rejected documents.

TEST_F(ConfigurationTest, ADoctypeIsRejectedAndEverythingIsDefault) {
    read(std::string(kDecl) + "<!DOCTYPE QZSystemConfiguration [<!ENTITY x \"y\">]>" +
         "<QZSystemConfiguration><Buttons><Button Id=\"VolumeUpButton\" Enabled=\"false\"/>"
         "</Buttons></QZSystemConfiguration>");
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NOT_WELL_FORMED}));
    expectDefaults();
}

TEST_F(ConfigurationTest, AnEntityBombIsRejectedWithoutExpanding) {
    std::string dtd = "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        dtd += std::string("<!ENTITY ") + c + " \"" + std::string(10, '&') + "\">";
    }
    read(std::string(kDecl) + dtd + "]><r>&j;</r>");
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NOT_WELL_FORMED}));
}

TEST_F(ConfigurationTest, ATruncatedFileUndoesWhatWasAppliedBeforeTheError) {
    std::string text = document(
        "<Button Id=\"VolumeMuteButton\" Enabled=\"false\"/>"
        "<Button Id=\"VolumeUpButton\" Enabled=\"false\"/>"
        "<Button Id=\"VolumeDownButton\" Enab");
    text.resize(text.find("Enab\"") + 4);
    read(text);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NOT_WELL_FORMED}));
    expectDefaults();
}

TEST_F(ConfigurationTest, InvalidValuesBeforeASyntaxErrorAreStillReported) {
    // Far enough in that the error lies in another 512-byte chunk than the Button before it.
    std::string text = document("<Button Id=\"VolumeUpButton\" Enabled=\"Yes\"/>" +
                                std::string(2000, ' ') + "<Button Id=\"VolumeDownButton\" <<");
    read(text);
    EXPECT_EQ(ids(),
              (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE, EVENT_CONFIG_NOT_WELL_FORMED}));
}

std::string nested(int depth) {
    std::string s = kDecl;
    for (int i = 0; i < depth; ++i) s += "<e>";
    for (int i = 0; i < depth; ++i) s += "</e>";
    return s;
}

TEST_F(ConfigurationTest, TooDeepIsReportedAtExactly256ElementStarts) {
    read(nested(257));
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_TOO_DEEP}));
    EXPECT_EQ(dwElementCount, 256u);
    expectDefaults();
    resetButtonConfiguration();
    read(nested(256));  // deep, but allowed: only the missing buttons are reported
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NO_VALID_CHANGE}));
}

TEST_F(ConfigurationTest, ASyntaxErrorAfter256ElementsCountsAsTooDeep) {
    std::string text = std::string(kDecl) + "<r>";
    for (int i = 0; i < 255; ++i) text += "<e/>";
    text += "<e x=1/>";
    read(text);
    EXPECT_EQ(dwElementCount, 256u);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_TOO_DEEP}));
}

TEST_F(ConfigurationTest, TheSizeLimitIsOneMebibyteExclusive) {
    const std::string head = document("<Button Id=\"VolumeUpButton\" Enabled=\"false\"/>");
    std::string text = head + "<!--" + std::string(0x100000 - head.size() - 7, 'x') + "-->";
    ASSERT_EQ(text.size(), 0x100000u);

    read(text);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_TOO_LARGE}));
    expectDefaults();
    resetButtonConfiguration();
    text.erase(head.size() + 4, 1);
    ASSERT_EQ(text.size(), 0xFFFFFu);
    read(text);
    EXPECT_TRUE(ids().empty());
    EXPECT_EQ(VolumeUpButton.get().Enabled, 0);
}

// Timing test: libxml2 parses one element's attributes in quadratic time (tens of seconds for a
// file under the limit). The worst such file is refused, promptly, as a document the reader
// rejects.
TEST_F(ConfigurationTest, AnElementWithAllTheAttributesAFileCanHoldIsRefusedPromptly) {
    const std::string head = document("<Button Id=\"VolumeUpButton\" Enabled=\"false\"/><e");
    const std::string tail = "/></Buttons></QZSystemConfiguration>\n";
    std::string text = head.substr(0, head.find("</Buttons>"));
    for (int i = 0; text.size() + tail.size() + 12 < kMaxConfigurationSize; ++i) {
        text += " a" + std::to_string(i) + "=\"\"";
    }
    text.append(kMaxConfigurationSize - 1 - tail.size() - text.size(), ' ');
    text += tail;
    ASSERT_EQ(text.size(), kMaxConfigurationSize - 1);

    const auto start = std::chrono::steady_clock::now();
    read(text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(ids(), (std::vector<uint32_t>{EVENT_CONFIG_NOT_WELL_FORMED}));
    expectDefaults();
}

TEST_F(ConfigurationTest, AFifoOrDirectoryInTheFilesPlaceIsNeitherWaitedOnNorReported) {
    ASSERT_EQ(mkfifo(szConfigurationFile.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [] { CheckButtonConfiguration(); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Free the reading so the test can end: a writer that comes and goes.
        close(open(szConfigurationFile.c_str(), O_WRONLY | O_NONBLOCK));
        FAIL() << "the reading waited for a writer on the FIFO";
    }
    EXPECT_TRUE(ids().empty());
    expectDefaults();

    unlink(szConfigurationFile.c_str());
    ASSERT_EQ(mkdir(szConfigurationFile.c_str(), 0700), 0);
    CheckButtonConfiguration();
    EXPECT_TRUE(ids().empty());
    expectDefaults();
    rmdir(szConfigurationFile.c_str());
}

// The notification and action threads read the records while start-up writes them: each read
// sees one whole record, the default or the file's, never a mix.
TEST_F(ConfigurationTest, ReadersOnOtherThreadsSeeWholeRecords) {
    const std::string text = document(
        "<Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
        "ActionValue=\"/usr/bin/a-rather-long-program-name --with --several --arguments\" "
        "AutoRepeatEnabled=\"true\" AutoRepeatInterval=\"4000\"/>");
    const ButtonConfiguration fromFile{
        1, LaunchExecutable, "/usr/bin/a-rather-long-program-name --with --several --arguments", 1,
        4000};
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, mixed{0};
    std::thread reader([&] {
        while (!done.load()) {
            const ButtonConfiguration c = VolumeUpButton.get();
            if (!(c == kUpDefault) && !(c == fromFile)) mixed.fetch_add(1);
            reads.fetch_add(1);
        }
    });
    const auto bytes =
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    for (int i = 0; i < 300 || reads.load() < 1000; ++i) {
        SetDefaultButtonConfiguration("VolumeUpButton");
        XmlLiteReader(bytes);
    }
    done = true;
    reader.join();
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_EQ(VolumeUpButton.get(), fromFile);
}

TEST(ConfigurationReports, TextsAndDataSizes) {
    resetButtonConfiguration();
    platform::installPorts({});
    SetDefaultButtonConfiguration("nothing");
    // Each text with its UTF-16 terminator gives the data size the log receives.
    struct {
        uint32_t id;
        uint32_t size;
    } expected[] = {{EVENT_CONFIG_TOO_LARGE, 192},
                    {EVENT_CONFIG_TOO_DEEP, 202},
                    {EVENT_CONFIG_NOT_WELL_FORMED, 168},
                    {EVENT_CONFIG_NO_VALID_CHANGE, 248}};
    const std::string dir = testsupport::makeTempDir("veskosd-reports");
    platform::Ports p;
    p.xmlReaders = std::make_unique<platform::linux_adapter::LibXmlReaders>();
    platform::installPorts(std::move(p));
    szConfigurationFile = dir + "/big.xml";
    std::ofstream(szConfigurationFile) << std::string(0x100000, ' ');
    CheckButtonConfiguration();
    const std::string deep = nested(300);
    XmlLiteReader(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(deep.data()), deep.size()));

    const std::string bad = "<?xml version=\"1.0\"?><a>";
    XmlLiteReader(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
    const std::string none = "<?xml version=\"1.0\"?><a/>";
    XmlLiteReader(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(none.data()), none.size()));
    ASSERT_EQ(loggedEvents().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loggedEvents()[i].id, expected[i].id);
        EXPECT_EQ(loggedEvents()[i].dataSize, expected[i].size);
    }
    testsupport::removeTree(dir);
    platform::installPorts({});
}

}  // namespace
