#include "platform/linux/wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstring>

namespace platform::linux_adapter {

namespace {

const wl_buffer_listener kBufferListener = {ShmBuffers::released};

}  // namespace

void ShmBuffers::released(void* data, wl_buffer* buffer) {
    static_cast<ShmBuffers*>(data)->live_.erase(buffer);
    wl_buffer_destroy(buffer);
}

void ShmBuffers::forget() {
    for (wl_buffer* b : live_) wl_buffer_destroy(b);
    live_.clear();
}

wl_buffer* ShmBuffers::make(wl_shm* shm, const Pixels* pixels, int width, int height) {
    if (pixels) {
        width = pixels->width;
        height = pixels->height;
    }
    if (width <= 0 || height <= 0) return nullptr;
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::size_t size = stride * static_cast<std::size_t>(height);
    const int fd = memfd_create("veskosd-osd", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    // A transparent buffer is the file's zeros: its pages are never touched here.
    if (ftruncate(fd, static_cast<off_t>(size)) < 0) {
        ::close(fd);
        return nullptr;
    }
    if (pixels) {
        void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            ::close(fd);
            return nullptr;
        }
        std::memcpy(map, pixels->argb.data(), size);
        munmap(map, size);
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(
        pool, 0, width, height, static_cast<int32_t>(stride), WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    wl_buffer_add_listener(buffer, &kBufferListener, this);
    live_.insert(buffer);
    return buffer;
}

Pixels upscale(const Pixels& image, int factor) {
    if (factor <= 1) return image;
    Pixels out;
    out.width = image.width * factor;
    out.height = image.height * factor;
    out.argb.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x)
            out.argb[out.index(x, y)] = image.at(x / factor, y / factor);
    }
    return out;
}

}  // namespace platform::linux_adapter
