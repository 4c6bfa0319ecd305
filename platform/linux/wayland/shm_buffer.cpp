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

Pixels resample(const Pixels& image, int width, int height) {
    if (width == image.width && height == image.height) return image;
    Pixels out;
    if (image.width <= 0 || image.height <= 0 || width <= 0 || height <= 0) return out;
    out.width = width;
    out.height = height;
    out.argb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * image.height / height);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * image.width / width);
            out.argb[out.index(x, y)] = image.at(sx, sy);
        }
    }
    return out;
}

}  // namespace platform::linux_adapter
