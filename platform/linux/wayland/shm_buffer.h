// wl_shm buffers: ARGB8888, premultiplied, each used for one commit and destroyed when the
// compositor lets it go.
#pragma once

#include <set>

#include "platform/canvas.h"

struct wl_buffer;
struct wl_shm;

namespace platform::linux_adapter {

class ShmBuffers {
public:
    // A buffer holding `pixels`, or of `width` x `height` fully transparent ones when `pixels`
    // is null; null when no memory can be had.
    wl_buffer* make(wl_shm* shm, const Pixels* pixels, int width = 0, int height = 0);
    // Destroys every buffer: the connection they were made on is going.
    void forget();
    std::size_t live() const { return live_.size(); }
    static void released(void* data, wl_buffer* buffer);

private:
    std::set<wl_buffer*> live_;
};

// `image` at `width` x `height`, each pixel taken from the one it falls on: the frame at an
// output's scale, whole pixels kept whole at 2x and as near as can be at 1.5x.
Pixels resample(const Pixels& image, int width, int height);

}  // namespace platform::linux_adapter
