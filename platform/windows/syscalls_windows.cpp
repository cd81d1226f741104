#include <cerrno>

#include "platform/syscalls.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

// The errno value for the system's code, for callers that print strerror.
int Errno(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
            return ENOSPC;
    }
    return EIO;
}

int Failed() {
    errno = Errno(GetLastError());
    return -1;
}

}  // namespace

int SysLstat(const char* path, struct stat* st) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data))
        return Failed();
    *st = {};
    st->st_mode = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? S_IFDIR : S_IFREG;
    st->st_size = static_cast<decltype(st->st_size)>(
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return 0;
}

int SysMkdir(const char* path, mode_t) {
    return CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 0 : Failed();
}

int SysUnlink(const char* path) {
    return DeleteFileW(SystemPath(path).c_str()) ? 0 : Failed();
}

// Over an existing file, as rename does; written through, so it is there after a crash.
int SysRename(const char* from, const char* to) {
    return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : Failed();
}

}  // namespace platform
