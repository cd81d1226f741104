#include <cerrno>
#include <utility>

#include "platform/lock_file.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

void SetErrno(DWORD error) {
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            return;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            return;
        case ERROR_LOCK_VIOLATION:
        case ERROR_IO_PENDING:
            errno = EWOULDBLOCK;
            return;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            return;
    }
    errno = EIO;
}

}  // namespace

bool LockFile::Open(const std::string& path, OpenMode mode) {
    Close();
    // Shared for deleting too: the owner of a lock file removes it while others may hold it
    // open to try its lock.
    const DWORD access = mode == Existing ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == Existing    ? OPEN_EXISTING
                              : mode == CreateNew ? CREATE_NEW
                                                  : OPEN_ALWAYS;
    HANDLE file = CreateFileW(SystemPath(path).c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetErrno(GetLastError());
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    m_path = path;
    return true;
}

bool LockFile::Lock(bool exclusive, bool wait) {
    if (m_handle == kNone) {
        errno = EBADF;
        return false;
    }
    OVERLAPPED at{};
    const DWORD flags =
        (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(AsHandle(m_handle), flags, 0, MAXDWORD, MAXDWORD, &at)) return true;
    SetErrno(GetLastError());
    return false;
}

void LockFile::Unlock() {
    if (m_handle == kNone) return;
    OVERLAPPED at{};
    UnlockFileEx(AsHandle(m_handle), 0, MAXDWORD, MAXDWORD, &at);
}

void LockFile::Close() {
    if (m_handle == kNone) return;
    // Closing the handle lets its locks go.
    CloseHandle(AsHandle(m_handle));
    m_handle = kNone;
}

}  // namespace platform
