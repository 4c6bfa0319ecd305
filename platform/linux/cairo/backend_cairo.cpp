#include "platform/linux/cairo/cairo_graphics.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(cairo, CairoBackend,
                []() -> std::unique_ptr<Graphics> { return std::make_unique<CairoGraphics>(); })
