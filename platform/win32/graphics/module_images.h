// The program's images are its module's resources of type "PNG" (compiled in by windres): the
// core reads them by name from the resource table, which this fills.
#pragma once

#include <cstddef>

namespace platform::win32 {

// Copies every "PNG" resource of the running executable into the core's resource table; the
// number copied.
std::size_t loadModuleImages();

}  // namespace platform::win32
