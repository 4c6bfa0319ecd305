// What the Wayland adapter tests share: waiting for a condition, a patterned frame, comparing an
// output's pixels with a reference.
#pragma once

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/canvas.h"
#include "tests/support/process.h"
#include "tests/support/sway.h"

namespace wltest {

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Opaque, no two neighbours alike: a shifted or scaled picture cannot match.
inline platform::Pixels pattern(int w, int h) {
    platform::Pixels p;
    p.width = w;
    p.height = h;
    p.argb.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p.argb[p.index(x, y)] = 0xFF000000u | (static_cast<uint32_t>(x * 7) & 0xFF) << 16 |
                                    (static_cast<uint32_t>(y * 9) & 0xFF) << 8 |
                                    (static_cast<uint32_t>(x + y * 3) & 0xFF);
        }
    }
    return p;
}

// Pixels of `shot` that differ from `ref` (alpha 255) drawn at (`left`, `top`) in logical
// pixels, each logical pixel `scale` x `scale` physical ones.
inline int mismatches(const testsupport::Screenshot& shot, const platform::Pixels& ref, int left,
                      int top, int scale) {
    if (shot.width == 0) return -1;
    int bad = 0;
    for (int y = 0; y < ref.height * scale; ++y) {
        for (int x = 0; x < ref.width * scale; ++x) {
            const int sx = left * scale + x, sy = top * scale + y;
            if (sx >= shot.width || sy >= shot.height) return -1;
            if (shot.at(sx, sy) != (ref.at(x / scale, y / scale) & 0xFFFFFF)) ++bad;
        }
    }
    return bad;
}

// The test window (tests/support/wayland_key_client.cpp) with `args`, ended and its log removed
// however the test ends.
class TestClient {
public:
    explicit TestClient(const std::vector<std::string>& args = {})
        : dir_(testsupport::makeTempDir("veskosd-wlclient")), log_(dir_ + "/client.log") {
        std::vector<std::string> argv{VESKOSD_WAYLAND_CLIENT};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = testsupport::spawnBackground(argv, log_);
    }
    ~TestClient() {
        testsupport::killAndReap(pid_);
        testsupport::removeTree(dir_);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;
    bool started() const { return pid_ > 0; }
    // What it printed so far.
    std::string text() const {
        std::ifstream in(log_);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t count(const std::string& what) const {
        const std::string t = text();
        std::size_t n = 0;
        for (auto at = t.find(what); at != std::string::npos; at = t.find(what, at + 1)) ++n;
        return n;
    }

private:
    std::string dir_, log_;
    pid_t pid_ = -1;
};

}  // namespace wltest
