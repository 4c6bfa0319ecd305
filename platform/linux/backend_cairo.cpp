#include "platform/linux/backend_api.h"
#include "platform/linux/cairo_graphics.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const CairoBackend* veskosd_backend_cairo() {
    static const CairoBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<Graphics> { return std::make_unique<CairoGraphics>(); },
    };
    return &table;
}
