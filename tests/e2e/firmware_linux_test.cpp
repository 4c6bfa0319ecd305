// The real machine's firmware driver where there is none: what the daemon says about it, and the
// model it runs as.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

constexpr const char* kAbsent = "Can't Open ACPI kernel Mode Driver";

std::vector<std::string> realMachine(const std::string& dataDir, std::vector<std::string> more) {
    std::vector<std::string> args{"--machine",  "linux", "--osd",    "headless",
                                  "--data-dir", dataDir, "--serial", "/nonexistent/tty"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(FirmwareLinuxE2E, ADriverNeverConfiguredIsSaidOnceInTheLogAndIsNoBox) {
    e2e::TempDir data;
    e2e::Daemon d(realMachine(data.path(), {}));
    const auto s = d.status();
    EXPECT_TRUE(s["messageBoxes"].empty()) << s["messageBoxes"];
    EXPECT_EQ(e2e::occurrences(d.stderrText(), kAbsent), 1u) << d.stderrText();
    EXPECT_EQ(s["bOSDModel"], 1);
    EXPECT_EQ(s["dwModelID"], 0);
}

TEST(FirmwareLinuxE2E, AConfiguredDriverThatCannotBeOpenedIsStillABox) {
    const std::vector<std::vector<std::string>> configured{
        {"--acpi-method-path", "\\_SB.PCI0.LPCB.EC0."}, {"--acpi-device", "/nonexistent/acpi"}};
    for (const auto& option : configured) {
        e2e::TempDir data;
        e2e::Daemon d(realMachine(data.path(), option));
        const auto s = d.status();
        ASSERT_EQ(s["messageBoxes"].size(), 1u) << option[0];
        EXPECT_EQ(s["messageBoxes"][0]["text"], kAbsent);
    }
}

TEST(FirmwareLinuxE2E, WithoutTheFirmwareTheGivenModelIsTakenAndTheAdaptersLineSaysSo) {
    e2e::TempDir data;
    e2e::Daemon d(realMachine(data.path(), {"--model", "2"}));
    const auto s = d.status();
    EXPECT_EQ(s["bOSDModel"], 0);
    EXPECT_EQ(s["dwModelID"], 2);
    const std::string err = d.stderrText();
    EXPECT_NE(err.find("firmware=acpi_call model=firmware(else 2)"), std::string::npos) << err;
    EXPECT_EQ(e2e::occurrences(err, "no model number from the firmware: model 2 (--model)"), 1u);

    e2e::TempDir other;
    e2e::Daemon plain(realMachine(other.path(), {}));
    EXPECT_NE(plain.stderrText().find("model=firmware "), std::string::npos);
    EXPECT_EQ(plain.status()["bOSDModel"], 1);
}

}  // namespace
