#include "dispatch/dispatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"

namespace {

// Records what reaches the base procedure's message map.
class ProbeDialog : public CVESKOSDDlg {
public:
    int paints = 0;

protected:
    void OnPaint() override { ++paints; }
};

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        dispatch::clearHandlers();
    }
    void TearDown() override {
        dispatch::clearHandlers();
        resetGlobals();
    }
    std::vector<std::string> calls;

    void record(const std::string& tag, base::LPARAM code, int32_t model) {
        dispatch::registerDeviceEventHandler(code, model, [this, tag](base::WPARAM, base::LPARAM) {
            // The flags are already set when a handler runs.
            calls.push_back(tag + " vol=" + std::to_string(bOSDShowVolume.load()) +
                            " brit=" + std::to_string(bOSDShowBrightness.load()));
        });
    }
};

TEST_F(DispatcherTest, ModeFlagsAreSetBeforeTheHandlerOnBothModels) {
    record("osd32", LPARAM_SR_VOL_UP_MAKE, dispatch::kOsdModel);
    record("dc17", LPARAM_DEBR, dispatch::kDisplayControllerModel);

    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_SR_VOL_UP_MAKE);
    bOSDModel = 0;
    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_DEBR);
    // Brightness on the display-controller model still marks the brightness bar.
    EXPECT_EQ(calls, (std::vector<std::string>{"osd32 vol=1 brit=0", "dc17 vol=0 brit=1"}));
}

TEST_F(DispatcherTest, EachVolumeAndBrightnessCodeSetsItsFlags) {
    for (base::LPARAM code : {LPARAM_SR_VOL_UP_MAKE, LPARAM_SR_VOL_DOWN_MAKE, LPARAM_SR_MUTE}) {
        bOSDShowVolume = 0;
        bOSDShowBrightness = 1;
        dispatch::handleMessage(WM_DEVICE_EVENT, 512, code);
        EXPECT_EQ(bOSDShowVolume.load(), 1) << code;
        EXPECT_EQ(bOSDShowBrightness.load(), 0) << code;
    }
    for (base::LPARAM code : {LPARAM_DEBR, LPARAM_INBR}) {
        bOSDShowVolume = 1;
        bOSDShowBrightness = 0;
        dispatch::handleMessage(WM_DEVICE_EVENT, 512, code);
        EXPECT_EQ(bOSDShowVolume.load(), 0) << code;
        EXPECT_EQ(bOSDShowBrightness.load(), 1) << code;
    }
}

TEST_F(DispatcherTest, OtherCodesLeaveTheFlagsButStillResetTheReplySize) {
    bOSDShowVolume = 1;
    for (base::LPARAM code : {LPARAM_TOGGLE_LCD, LPARAM_SYSTEM_SHUTDOWN, base::LPARAM{99}}) {
        dwACPIMethodOutSize = 4;
        dispatch::handleMessage(WM_DEVICE_EVENT, 512, code);
        EXPECT_EQ(bOSDShowVolume.load(), 1);
        EXPECT_EQ(bOSDShowBrightness.load(), 0);
        EXPECT_EQ(dwACPIMethodOutSize.load(), 512u);
    }
}

TEST_F(DispatcherTest, AnotherWParamGetsNoHandlingAtAll) {
    record("osd17", LPARAM_DEBR, dispatch::kOsdModel);
    dwACPIMethodOutSize = 4;
    for (base::WPARAM w : {base::WPARAM{0}, base::WPARAM{511}, base::WPARAM{513}}) {
        dispatch::handleMessage(WM_DEVICE_EVENT, w, LPARAM_DEBR);
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(bOSDShowBrightness.load(), 0);
    EXPECT_EQ(dwACPIMethodOutSize.load(), 4u);
}

TEST_F(DispatcherTest, HandlerRunsOnlyForTheCurrentModel) {
    record("osd162", LPARAM_TOGGLE_LCD, dispatch::kOsdModel);
    record("dc165", LPARAM_SOURCE_CHANGED, dispatch::kDisplayControllerModel);
    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_SOURCE_CHANGED);  // none on OSD model
    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_TOGGLE_LCD);
    bOSDModel = 0;
    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_TOGGLE_LCD);  // none on this model
    dispatch::handleMessage(WM_DEVICE_EVENT, 512, LPARAM_SOURCE_CHANGED);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(0, 6), "osd162");
    EXPECT_EQ(calls[1].substr(0, 5), "dc165");
}

TEST_F(DispatcherTest, WindowMessagesGoToTheModelsHandler) {
    int osd = 0, dc = 0;
    dispatch::registerMessageHandler(WM_CLOSE, dispatch::kOsdModel,
                                     [&](base::WPARAM, base::LPARAM) { ++osd; });
    dispatch::registerMessageHandlerBothModels(WM_DISPLAYCHANGE,
                                               [&](base::WPARAM, base::LPARAM) { ++dc; });
    dispatch::handleMessage(WM_CLOSE, 0, 0);
    bOSDModel = 0;
    dispatch::handleMessage(WM_CLOSE, 0, 0);
    dispatch::handleMessage(WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(osd, 1);
    EXPECT_EQ(dc, 1);
}

TEST_F(DispatcherTest, BaseProcedureIsReachedForEveryMessage) {
    ProbeDialog dlg;
    int handled = 0;
    dispatch::registerMessageHandler(WM_PAINT, dispatch::kOsdModel,
                                     [&](base::WPARAM, base::LPARAM) { ++handled; });
    // Handled here, then passed on: the message map still paints.
    dlg.WindowProc(WM_PAINT, 0, 0);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(dlg.paints, 1);
    // Unknown codes, a wrong wParam and WM_CLOSE pass through harmlessly.
    dlg.WindowProc(WM_DEVICE_EVENT, 512, 12345);
    dlg.WindowProc(WM_DEVICE_EVENT, 7, 32);
    dlg.WindowProc(WM_CLOSE, 0, 0);
    dlg.WindowProc(0xBEEF, 1, 2);
    EXPECT_EQ(bOSDShowVolume.load(), 0);
}

TEST_F(DispatcherTest, DescribesMessagesReadably) {
    EXPECT_EQ(dispatch::describeMessage(WM_DEVICE_EVENT, 512, 32),
              "WM_DEVICE_EVENT wParam 512 lParam 32 (LPARAM_SR_VOL_UP_MAKE)");
    EXPECT_EQ(dispatch::describeMessage(WM_DEVICE_EVENT, 512, 5),
              "WM_DEVICE_EVENT wParam 512 lParam 5 (no such code)");
    EXPECT_EQ(dispatch::describeMessage(0x9999, 1, -2), "message 39321 wParam 1 lParam -2");
}

}  // namespace
