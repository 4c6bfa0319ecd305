// Start-up of each model in its fixed order: the events and threads as they were made, the
// firmware methods called, and the message boxes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
using Names = std::vector<std::string>;

// The program's own objects, in the order made; the daemon's helper threads left out.
Names coreObjects(const nlohmann::json& status) {
    Names out;
    for (const auto& o : status["createdObjects"]) {
        const std::string s = o.get<std::string>();
        if (s.rfind("event", 0) == 0 || s.rfind("thread Thread", 0) == 0 ||
            s == "thread HotKeyThread") {
            out.push_back(s);
        }
    }
    return out;
}

const Names kBothModels = {
    "event MORV EVENT",
    "thread HotKeyThread",
    "event BRIT_UP_MAKE EVENT",
    "event BRIT_UP_BREAK EVENT",
    "event BRIT_DOWN_MAKE EVENT",
    "event BRIT_DOWN_BREAK EVENT",
    "event BRIT_NO_CHANGED_EVENT",
    "thread ThreadBD",
    "thread ThreadBU",
    "thread ThreadBRITC",
    "thread ThreadBN",
};

Names concat(Names a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(StartupOrderE2E, TheOsdModelMakesItsObjectsInOrderAndShowsNoBox) {
    Daemon d({"--machine", "sim", "--osd", "headless"});
    const auto s = d.status();
    EXPECT_EQ(
        coreObjects(s),
        concat(kBothModels,
               {"event VOL_MUTE_MAKE EVENT", "event VOL_MUTE_BREAK EVENT",
                "event VOL_UP_MAKE EVENT", "event VOL_UP_BREAK EVENT", "event VOL_DOWN_MAKE EVENT",
                "event VOL_DOWN_BREAK EVENT", "event SHOWOSD EVENT", "event FADEOUTOSD EVENT",
                "thread ThreadFO", "thread ThreadVM", "thread ThreadVU", "thread ThreadVD"}));
    EXPECT_EQ(s["sim"]["firmware"]["methods"], (nlohmann::json{"MBID", "QZLV"}));
    EXPECT_EQ(s["messageBoxes"], nlohmann::json::array());
    EXPECT_EQ(s["GdiplusToken"], 1);
    EXPECT_EQ(s["hUARTDevice"], "INVALID_HANDLE_VALUE");
    // Steps 12 and 13: the scheme was read, and the monitor's answer restored the brightness.
    EXPECT_EQ(s["pActivePowerScheme"], "balanced");
    EXPECT_FALSE(s["sim"]["backlight"]["sets"].empty());
}

TEST(StartupOrderE2E, TheControllerModelMakesItsObjectsInOrderAndBoxesComeInTheirPlace) {
    Names unnamed(8, "event");
    Names controller = {"event WAIT_UART_RESPONSE EVENT", "event PAUSE_UART_RESPONSE EVENT",
                        "event SEND_UART_COMPLETE_EVENT"};
    controller = concat(controller, unnamed);
    controller = concat(controller, {"thread ThreadUR", "thread ThreadUS"});
    {
        Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless"});
        const auto s = d.status();
        EXPECT_EQ(coreObjects(s), concat(kBothModels, controller));
        EXPECT_EQ(s["sim"]["firmware"]["methods"], (nlohmann::json{"MBID", "QZLV"}));
        EXPECT_EQ(s["messageBoxes"], nlohmann::json::array());
        EXPECT_EQ(s["GdiplusToken"], 0);
        EXPECT_EQ(s["szButtonActionFile"].get<std::string>().ends_with("/KL04ButtonAction.INI"),
                  true);
        EXPECT_EQ(s["szOriginalStateFile"].get<std::string>().ends_with("/KL04OriginalState.INI"),
                  true);
    }
    {
        Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless", "--serial",
                  "/nonexistent/ttyVESKOSD"});
        const auto s = d.status();
        EXPECT_EQ(coreObjects(s), concat(kBothModels, controller));
        ASSERT_EQ(s["messageBoxes"].size(), 2u);
        EXPECT_EQ(s["messageBoxes"][0]["text"], "Can't Open UART Device");
        EXPECT_EQ(s["messageBoxes"][1]["text"], "RegisterDeviceNotification Error");
    }
}

TEST(StartupOrderE2E, WithoutTheDriverTheOneBoxComesAndTheOsdHalfRuns) {
    Daemon d({"--machine", "sim", "--osd", "headless", "--sim-no-firmware"});
    const auto s = d.status();
    ASSERT_EQ(s["messageBoxes"].size(), 1u);
    EXPECT_EQ(s["messageBoxes"][0]["text"], "Can't Open ACPI kernel Mode Driver");
    EXPECT_EQ(s["bOSDModel"], 1);
    EXPECT_EQ(s["sim"]["firmware"]["methods"], nlohmann::json::array());
    const Names objects = coreObjects(s);
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects.back(), "thread ThreadVD");
}

}  // namespace
