// The dim time-out as an X server reports it, set from outside with xset as a user would.
// gtest first: X11's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/x11/dim_timeout.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using platform::linux_adapter::x11DimTimeoutSeconds;

class DimTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        xvfb_ = std::make_unique<testsupport::Xvfb>();
        display_ = XOpenDisplay(xvfb_->display().c_str());
        ASSERT_NE(display_, nullptr) << "cannot open " << xvfb_->display();
    }
    void TearDown() override {
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    void xset(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"xset", "-display", xvfb_->display()};
        argv.insert(argv.end(), args.begin(), args.end());
        int status = -1;
        testsupport::run(argv, &status);
        ASSERT_EQ(status, 0) << "xset failed";
    }

    std::unique_ptr<testsupport::Xvfb> xvfb_;
    Display* display_ = nullptr;
};

TEST_F(DimTimeoutTest, ScreenSaverTimeOutWhenDpmsIsOffOrAbsent) {
    xset({"s", "120"});
    xset({"-dpms"});  // also where the server has no DPMS at all, as Xvfb here
    EXPECT_EQ(x11DimTimeoutSeconds(display_), 120U);

    xset({"s", "off"});
    EXPECT_EQ(x11DimTimeoutSeconds(display_), 0U);
    EXPECT_EQ(x11DimTimeoutSeconds(nullptr), 0U);
}

TEST_F(DimTimeoutTest, DpmsStandbyWinsWhileDpmsIsOn) {
    int eventBase = 0;
    int errorBase = 0;
    if (!DPMSQueryExtension(display_, &eventBase, &errorBase)) {
        GTEST_SKIP() << "this X server has no DPMS extension (Xvfb even with +extension DPMS)";
    }
    xset({"s", "120"});
    xset({"dpms", "60", "0", "0"});
    EXPECT_EQ(x11DimTimeoutSeconds(display_), 60U);

    // DPMS on without a standby stage: the screen saver still comes first.
    xset({"dpms", "0", "0", "900"});
    EXPECT_EQ(x11DimTimeoutSeconds(display_), 120U);
}

}  // namespace
