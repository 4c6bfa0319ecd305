// The two calls of the runtime that each operating system makes its own way.
#pragma once

#include <string>

namespace base::os {

// Names the calling thread where debuggers and process lists show it.
void nameThisThread(const std::string& name);

// Hands freed heap blocks back to the system where the allocator keeps them.
void giveBackFreedMemory();

}  // namespace base::os
