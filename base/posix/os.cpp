#include "base/os.h"

#include <pthread.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace base::os {

void nameThisThread(const std::string& name) {
    // The kernel keeps 15 characters.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

void giveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace base::os
