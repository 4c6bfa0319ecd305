// Stand-ins for modules left by other builds: one carries another build's identifier, one (an
// older module) none at all. Their entry points must never be called.
#include <cstdlib>

extern "C" {

#if defined(VESKOSD_FOREIGN_BUILD_ID)
extern const char VESKOSD_FOREIGN_ID_SYMBOL[];
const char VESKOSD_FOREIGN_ID_SYMBOL[] = VESKOSD_FOREIGN_BUILD_ID;
#endif

const void* VESKOSD_FOREIGN_ENTRY() {
    std::abort();
}
}
