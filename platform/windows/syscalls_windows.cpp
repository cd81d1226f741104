#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/format_message.h"
#include "platform/syscalls.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

// The errno value for the system's code, for callers that compare it; what they print comes
// from the code itself (strerror below). A name the system refuses is no missing file, and a
// drive that is not ready or a network that failed is no input/output error.
int Errno(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_NETWORK_ACCESS_DENIED:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
            return ENXIO;
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
        case ERROR_BAD_NET_RESP:
        case ERROR_NETWORK_BUSY:
        case ERROR_REM_NOT_LIST:
            return ENETDOWN;
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_HOST_UNREACHABLE:
            return ENETUNREACH;
    }
    return EIO;
}

// The system's code behind the errno value the last failed call of this thread set.
struct ErrnoOrigin {
    int error = 0;
    DWORD code = 0;
};
thread_local ErrnoOrigin t_origin;

int Failed() {
    const DWORD code = GetLastError();
    errno = Errno(code);
    t_origin = {errno, code};
    return -1;
}

// The system's code for an errno value the C library set, for the system's text of it.
DWORD SystemCodeOf(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTDIR:
            return ERROR_DIRECTORY;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
            return ERROR_BUSY;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case EIO:
            return ERROR_IO_DEVICE;
        case ENXIO:
            return ERROR_NOT_READY;
        case EWOULDBLOCK:
            return ERROR_LOCK_VIOLATION;
    }
    return 0;
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

int SysStat(const char* path, struct stat* st) {
    return SysLstat(path, st);
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

// The console tool prints strerror(errno) after the calls above and the C library's own; on
// Windows that is the system's text in the user's language, for the system's code behind the
// errno value where one of the calls above left it, instead of the C library's English beside
// the system's localised texts. An errno value with no code of the system keeps the C library's
// text. Replaces the C library's strerror in this program (the CRT's is not imported, so the
// linker takes this one).
char* strerror(int error) {
    static thread_local std::string text;
    using platform::t_origin;
    const DWORD code = t_origin.code && error == t_origin.error && errno == t_origin.error
                           ? t_origin.code
                           : platform::SystemCodeOf(error);
    if (code && platform::SystemErrorText(code, &text)) return text.data();
    text = error >= 0 && error < _sys_nerr ? _sys_errlist[error]
                                           : "Unknown error " + std::to_string(error);
    return text.data();
}
