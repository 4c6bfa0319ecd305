// The OSD of the running daemon: headless screenshots, and a real window under Xvfb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "tests/e2e/harness.h"
#include "tests/support/xvfb.h"

namespace {

using e2e::Daemon;

// Width, height and colour type from a PNG's header chunk.
struct PngHeader {
    uint32_t width = 0, height = 0;
    int colorType = -1;
};
PngHeader readPngHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    PngHeader h;
    if (b.size() < 26 || b.compare(1, 3, "PNG") != 0 || b.compare(12, 4, "IHDR") != 0) return h;
    auto be32 = [&](std::size_t o) {
        return (uint32_t(uint8_t(b[o])) << 24) | (uint32_t(uint8_t(b[o + 1])) << 16) |
               (uint32_t(uint8_t(b[o + 2])) << 8) | uint32_t(uint8_t(b[o + 3]));
    };
    h.width = be32(16);
    h.height = be32(20);
    h.colorType = uint8_t(b[25]);
    return h;
}

TEST(OsdE2E, PostedVolumeEventPaintsTheBarFromTheCurrentLevel) {
    Daemon d({"--machine", "sim", "--osd", "headless"});
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    auto osd = d.status()["osd"];
    EXPECT_EQ(osd["alpha"], 192);
    EXPECT_EQ(osd["rect"]["left"], 595);
    EXPECT_EQ(osd["rect"]["top"], 960);
    EXPECT_EQ(osd["rect"]["right"], 595 + 729);
    EXPECT_EQ(osd["rect"]["bottom"], 990);
    EXPECT_EQ(osd["painted"]["text"], "50");  // the simulated speakers start at half
    EXPECT_EQ(osd["painted"]["images"][0]["resource"], "IDR_VOLUME_2");

    const std::string file = d.runtimeDir() + "/shot.png";
    auto r = d.client({"screenshot", file});
    ASSERT_EQ(r.status, 0) << r.err;
    auto h = readPngHeader(file);
    EXPECT_EQ(h.width, 729u);
    EXPECT_EQ(h.height, 30u);
    EXPECT_EQ(h.colorType, 6);  // with its alpha
}

TEST(OsdE2E, ScreenshotRefusesToFollowALink) {
    Daemon d({"--machine", "sim", "--osd", "headless"});
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    const std::string target = d.runtimeDir() + "/target";
    const std::string link = d.runtimeDir() + "/link.png";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    auto r = d.client({"screenshot", link});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("link.png"), std::string::npos) << r.err;
    EXPECT_NE(access(target.c_str(), F_OK), 0);
}

TEST(OsdE2E, UnderXTheBarAppearsOnScreenAndTheDaemonOutlivesTheServer) {
    auto xvfb = std::make_unique<testsupport::Xvfb>();
    Daemon d({"--machine", "sim", "--osd", "x11"});
    EXPECT_FALSE(testsupport::windowViewable("VESKOSD"));
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    d.status();  // the post has been handled once status answers
    EXPECT_TRUE(testsupport::windowViewable("VESKOSD"));
    const uint32_t inBar = testsupport::rootPixel(595 + 1 + 60, 960 + 1 + 13);
    EXPECT_GT(inBar & 0xFF, ((inBar >> 16) & 0xFF) + 20) << std::hex << inBar;
    EXPECT_EQ(testsupport::rootPixel(595 + 1 + 300, 962), 0u);
    xvfb.reset();
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    EXPECT_EQ(d.status()["osd"]["alpha"], 192);
    EXPECT_TRUE(d.running());
}

}  // namespace
