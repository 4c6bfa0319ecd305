#include "platform/linux/cairo/cairo_graphics.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const CairoBackend* veskosd_backend_cairo() {
    static const CairoBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<Graphics> { return std::make_unique<CairoGraphics>(); },
    };
    return &table;
}
