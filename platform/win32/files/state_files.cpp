#include "platform/state_files.h"

#include <windows.h>

#include <random>

#include "platform/temporary_names.h"
#include "platform/win32/files/everyone_access.h"
#include "platform/win32/files/handle.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// A link in a state file's place is opened as itself, and then refused as no regular file.
constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openExisting(const std::string& path, DWORD access) {
    return CreateFileW(win32::widen(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | kNoFollow, nullptr);
}

std::string temporaryName(const std::string& path) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kChars) - 2);
    std::string name = path + ".";
    for (std::size_t i = 0; i < kTempSuffixSize; ++i) name += kChars[pick(random)];
    return name;
}

bool writeAll(HANDLE h, std::span<const uint8_t> bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + off, static_cast<DWORD>(bytes.size() - off), &n,
                       nullptr) ||
            n == 0) {
            return false;
        }
        off += n;
    }
    return true;
}

}  // namespace

FileProbe probeFile(const std::string& path) {
    win32::FileHandle file(openExisting(path, GENERIC_READ | GENERIC_WRITE));
    if (file.valid()) return FileProbe::Opens;
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return FileProbe::NotFound;
        case ERROR_ACCESS_DENIED:
            return FileProbe::AccessDenied;
        default:
            return FileProbe::Failed;
    }
}

StateRead readStateFile(const std::string& path, std::size_t expected, std::vector<uint8_t>& out) {
    out.clear();
    win32::FileHandle file(openExisting(path, GENERIC_READ));
    if (!file.valid() || !win32::isRegularFile(file.get())) return StateRead::NotOpened;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) != expected) {
        return StateRead::WrongSize;
    }
    out.resize(expected);
    if (!win32::readUpTo(file.get(), out) || out.size() != expected) {
        out.clear();
        return StateRead::WrongSize;
    }
    return StateRead::Read;
}

bool writeStateFile(const std::string& path, std::span<const uint8_t> bytes, uint32_t mode) {
    win32::StateFileSecurity security(mode);
    const std::string temp = temporaryName(path);
    const std::wstring wideTemp = win32::widen(temp);
    bool written = false;
    {
        win32::FileHandle file(CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, security.get(),
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        // The whole file is on the disk before it takes the old one's place.
        written = writeAll(file.get(), bytes) && FlushFileBuffers(file.get());
    }
    if (!written || !MoveFileExW(wideTemp.c_str(), win32::widen(path).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(wideTemp.c_str());
        return false;
    }
    return true;
}

bool removeStateFile(const std::string& path) {
    // A link is removed itself, never what it points to.
    return DeleteFileW(win32::widen(path).c_str()) != 0;
}

std::size_t removeStaleTemporaries(const std::string& directory,
                                   const std::function<bool(std::string_view)>& ours) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW(win32::widen(directory + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    std::size_t removed = 0;
    do {
        constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        if ((entry.dwFileAttributes & kNotAFile) != 0) continue;
        const std::string name = win32::narrow(entry.cFileName);
        if (!isTemporaryOf(name, ours)) continue;
        if (DeleteFileW(win32::widen(directory + "\\" + name).c_str())) ++removed;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return removed;
}

}  // namespace platform
