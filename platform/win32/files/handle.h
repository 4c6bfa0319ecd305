// The file handle and the checks both file readers share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace platform::win32 {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A file on a disk that is neither a directory nor a link: pipes, consoles and devices mean
// nothing as state.
inline bool isRegularFile(HANDLE h) {
    if (GetFileType(h) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Fills `out` as far as the file goes, shrinking it to what was read; false on a read error.
inline bool readUpTo(HANDLE h, std::vector<uint8_t>& out) {
    std::size_t got = 0;
    while (got < out.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(out.size() - got);
        if (!ReadFile(h, out.data() + got, want, &n, nullptr)) return false;
        if (n == 0) break;
        got += n;
    }
    out.resize(got);
    return true;
}

}  // namespace platform::win32
