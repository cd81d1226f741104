// The one seam between Tavrel and the C library's system calls. Every call the platform
// layer makes goes through here, so a test can make any of them fail with a chosen errno.
#pragma once

#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>

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
    Chmod,
    MakeFolder,
    // Opening a nameless file in a folder (O_TMPFILE); the path is the folder's.
    TempFile,
    // Another program: a pipe to it, starting it, waiting for it to end.
    Pipe,
    Spawn,
    Wait,
    // Loading a part of the program (and the libraries it needs) when it is first used.
    Load
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
// The *at calls name a file in the folder dirfd; path is what the hook sees and errors name.
int SysOpenat(int dirfd, const char* name, int flags, mode_t mode, const char* path);
int SysOpenTempFile(int dirfd, int flags, mode_t mode, const char* path);
int SysFstatat(int dirfd, const char* name, struct stat* st, int flags, const char* path);
ssize_t SysReadlinkat(int dirfd, const char* name, char* buffer, size_t size, const char* path);
int SysLinkat(int fromDirfd, const char* from, int toDirfd, const char* to, int flags,
              const char* path);
int SysRenameat(int fromDirfd, const char* from, int toDirfd, const char* to, const char* path);
int SysUnlinkat(int dirfd, const char* name, const char* path);
// A write lock on the whole file that belongs to the open file, not to the process, and that
// NFS carries to the server; fails at once with EAGAIN when another holds one.
int SysLockForWriting(int fd, const char* path = nullptr);
int SysIoctl(int fd, unsigned long request, void* arg, const char* path = nullptr);
int SysMkdir(const char* path, mode_t mode);
// fcntl(F_GETFL): the descriptor's access mode and status flags, or -1.
int SysGetFlags(int fd, const char* path = nullptr);
// tcgetpgrp: the foreground process group of the terminal fd is open on, or -1.
pid_t SysTcgetpgrp(int fd);
// read(2) at the descriptor's position (a pipe's); EINTR is retried.
ssize_t SysRead(int fd, void* buffer, size_t count, const char* path = nullptr);
// pipe2 with O_CLOEXEC: neither end goes to a program started after, unless it is given to it.
int SysPipe(int fds[2]);
// posix_spawn of path: the new process's id, or -1 with errno set (the exec's own error where
// the program cannot be run). The path is what the hook sees.
pid_t SysSpawn(const char* path, const posix_spawn_file_actions_t* actions,
               const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]);
// waitpid; EINTR is retried.
pid_t SysWaitpid(pid_t pid, int* status, int options);
// poll; EINTR is returned (as 0 descriptors ready) so the caller looks again.
int SysPoll(struct pollfd* fds, nfds_t count, int timeoutMs);
// Not a system call of its own (positions live in the handle), but a point that can fail.
int SysSeekCheck(const char* path);
// dlopen with every symbol bound at once (RTLD_NOW | RTLD_LOCAL), so that a library missing or
// too old is heard here rather than in the middle of its first use; nullptr with the loader's
// one-line reason in error.
void* SysLoadModule(const char* path, std::string* error);
// dlsym: the address of name in a loaded module, nullptr with the reason in error.
void* SysModuleSymbol(void* module, const char* name, const char* path, std::string* error);

}  // namespace platform
