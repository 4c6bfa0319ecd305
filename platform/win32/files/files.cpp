#include "platform/files.h"

#include <windows.h>

#include "platform/win32/files/handle.h"
#include "platform/win32/wide.h"

namespace platform {

FileRead readRegularFile(const std::string& path, std::size_t maxSize, std::vector<uint8_t>& out) {
    out.clear();
    win32::FileHandle file(CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return FileRead::Missing;
    if (!win32::isRegularFile(file.get())) return FileRead::NotRegular;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return FileRead::Failed;
    if (static_cast<uint64_t>(size.QuadPart) > maxSize) return FileRead::TooLarge;
    // At most what passed the check, should the file grow meanwhile.
    out.resize(static_cast<std::size_t>(size.QuadPart));
    if (!win32::readUpTo(file.get(), out)) {
        out.clear();
        return FileRead::Failed;
    }
    return FileRead::Read;
}

}  // namespace platform
