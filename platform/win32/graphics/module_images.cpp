#include "platform/win32/graphics/module_images.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

// <windows.h> names its own FindResource; the core's resource table has one too.
#undef FindResource
#include "res/resources.h"

namespace platform::win32 {

namespace {

BOOL CALLBACK addImage(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR count) {
    // Images are named by string; a numbered one is none of the program's.
    if (IS_INTRESOURCE(name)) return TRUE;
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    if (!bytes || size == 0) return TRUE;
    addResource(narrow(name), "PNG", std::vector<uint8_t>(bytes, bytes + size));
    ++*reinterpret_cast<std::size_t*>(count);  // NOLINT(performance-no-int-to-ptr)
    return TRUE;
}

}  // namespace

std::size_t loadModuleImages() {
    std::size_t count = 0;
    EnumResourceNamesW(GetModuleHandleW(nullptr), L"PNG", addImage,
                       reinterpret_cast<LONG_PTR>(&count));
    return count;
}

}  // namespace platform::win32
