// The one seam between Tavrel and the C library's system calls. Every call the platform
// layer makes goes through here, so a test can make any of them fail with a chosen errno.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>

namespace platform {

enum class SysCall {
    Open,
    Read,
    Write,
    Seek,
    Close,
    Sync,
    Lock,
    Unlock,
    Delete,
    Rename,
    Stat,
    Ioctl,
    Chmod
};

const char* SysCallName(SysCall call);

// Returns 0 to let the call through, or the errno value the call fails with.
using FaultHook = std::function<int(SysCall call, const char* path)>;

// Installs a fault hook for the lifetime of the object and restores the previous one after.
// Install it while no job runs: the worker thread reads it without a lock.
class ScopedFaultHook {
  public:
    explicit ScopedFaultHook(FaultHook hook);
    ~ScopedFaultHook();
    ScopedFaultHook(const ScopedFaultHook&) = delete;
    ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;

  private:
    FaultHook m_previous;
};

int SysOpen(const char* path, int flags, mode_t mode = 0);
// For calls made through another library (a service opening a device for us): the errno value
// the hook makes the call fail with, or 0.
int SysFault(SysCall call, const char* path);
ssize_t SysPread(int fd, void* buffer, size_t count, off_t offset, const char* path = nullptr);
ssize_t SysPwrite(int fd, const void* buffer, size_t count, off_t offset,
                  const char* path = nullptr);
int SysClose(int fd, const char* path = nullptr);
int SysFsync(int fd, const char* path = nullptr);
int SysFlock(int fd, int operation, const char* path = nullptr);
int SysUnlink(const char* path);
int SysRename(const char* from, const char* to);
int SysFstat(int fd, struct stat* st, const char* path = nullptr);
int SysStat(const char* path, struct stat* st);
int SysLstat(const char* path, struct stat* st);
ssize_t SysReadlink(const char* path, char* buffer, size_t size);
int SysFchmod(int fd, mode_t mode, const char* path = nullptr);
int SysFchown(int fd, uid_t owner, gid_t group, const char* path = nullptr);
int SysIoctl(int fd, unsigned long request, void* arg, const char* path = nullptr);
// fcntl(F_GETFL): the descriptor's access mode and status flags, or -1.
int SysGetFlags(int fd, const char* path = nullptr);
// tcgetpgrp: the foreground process group of the terminal fd is open on, or -1.
pid_t SysTcgetpgrp(int fd);
// Not a system call of its own (positions live in the handle), but a point that can fail.
int SysSeekCheck(const char* path);

}  // namespace platform
