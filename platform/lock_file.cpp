#include "platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/syscalls.h"

namespace platform {

bool LockFile::Open(const std::string& path, OpenMode mode) {
    Close();
    const int flags = mode == Existing    ? O_RDONLY
                      : mode == CreateNew ? O_RDWR | O_CREAT | O_EXCL
                                          : O_RDWR | O_CREAT;
    const int fd = SysOpen(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    m_handle = fd;
    m_path = path;
    return true;
}

bool LockFile::Lock(bool exclusive, bool wait) {
    if (m_handle == kNone) {
        errno = EBADF;
        return false;
    }
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    return SysFlock(static_cast<int>(m_handle), operation, m_path.c_str()) == 0;
}

void LockFile::Unlock() {
    if (m_handle != kNone) SysFlock(static_cast<int>(m_handle), LOCK_UN, m_path.c_str());
}

void LockFile::Close() {
    if (m_handle == kNone) return;
    SysClose(static_cast<int>(m_handle), m_path.c_str());
    m_handle = kNone;
}

}  // namespace platform
