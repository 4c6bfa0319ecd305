// A private Xvfb and the adapters' shared connection to it, for the X11 adapter tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/linux/x11/x11_connection.h"
#include "tests/support/xvfb.h"

namespace testsupport {

class X11Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        xvfb = std::make_unique<Xvfb>();
        std::string error;
        x = platform::linux_adapter::X11Connection::open(xvfb->display(), error);
        ASSERT_TRUE(x) << error;
    }
    void TearDown() override {
        if (x) x->close();
        x.reset();
        xvfb.reset();
    }

    std::unique_ptr<Xvfb> xvfb;
    std::shared_ptr<platform::linux_adapter::X11Connection> x;
};

}  // namespace testsupport
