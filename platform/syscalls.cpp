#include "platform/syscalls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform {
namespace {

FaultHook& Hook() {
    static FaultHook hook;
    return hook;
}

int Injected(SysCall call, const char* path) {
    const FaultHook& hook = Hook();
    if (!hook) return 0;
    return hook(call, path ? path : "");
}

}  // namespace

const char* SysCallName(SysCall call) {
    switch (call) {
        case SysCall::Open:
            return "open";
        case SysCall::Read:
            return "read";
        case SysCall::Write:
            return "write";
        case SysCall::Seek:
            return "seek";
        case SysCall::Close:
            return "close";
        case SysCall::Sync:
            return "sync";
        case SysCall::Lock:
            return "lock";
        case SysCall::Unlock:
            return "unlock";
        case SysCall::Delete:
            return "delete";
        case SysCall::Rename:
            return "rename";
        case SysCall::Stat:
            return "stat";
        case SysCall::Ioctl:
            return "ioctl";
        case SysCall::Chmod:
            return "chmod";
        case SysCall::MakeFolder:
            return "mkdir";
        case SysCall::TempFile:
            return "tempfile";
        case SysCall::Pipe:
            return "pipe";
        case SysCall::Spawn:
            return "spawn";
        case SysCall::Wait:
            return "wait";
        case SysCall::Load:
            return "load";
    }
    return "?";
}

ScopedFaultHook::ScopedFaultHook(FaultHook hook)
    : m_previous(std::exchange(Hook(), std::move(hook))) {}
ScopedFaultHook::~ScopedFaultHook() {
    Hook() = std::move(m_previous);
}

#define TAVREL_INJECT(call, path)              \
    if (int injected = Injected(call, path)) { \
        errno = injected;                      \
        return -1;                             \
    }

int SysFault(SysCall call, const char* path) {
    return Injected(call, path);
}

int SysOpen(const char* path, int flags, mode_t mode) {
    TAVREL_INJECT(SysCall::Open, path);
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t SysPread(int fd, void* buffer, size_t count, off_t offset, const char* path) {
    TAVREL_INJECT(SysCall::Read, path);
    ssize_t n;
    do n = ::pread(fd, buffer, count, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SysPwrite(int fd, const void* buffer, size_t count, off_t offset, const char* path) {
    TAVREL_INJECT(SysCall::Write, path);
    ssize_t n;
    do n = ::pwrite(fd, buffer, count, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

int SysClose(int fd, const char* path) {
    // The descriptor is released even when a failure is injected: a failed close never leaks.
    if (int injected = Injected(SysCall::Close, path)) {
        ::close(fd);
        errno = injected;
        return -1;
    }
    return ::close(fd);
}

int SysFsync(int fd, const char* path) {
    TAVREL_INJECT(SysCall::Sync, path);
    return ::fsync(fd);
}

int SysFlock(int fd, int operation, const char* path) {
    TAVREL_INJECT((operation & LOCK_UN) ? SysCall::Unlock : SysCall::Lock, path);
    int r;
    do r = ::flock(fd, operation);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysUnlink(const char* path) {
    TAVREL_INJECT(SysCall::Delete, path);
    return ::unlink(path);
}

int SysRename(const char* from, const char* to) {
    TAVREL_INJECT(SysCall::Rename, to);
    return ::rename(from, to);
}

int SysFstat(int fd, struct stat* st, const char* path) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::fstat(fd, st);
}

int SysStat(const char* path, struct stat* st) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::stat(path, st);
}

int SysLstat(const char* path, struct stat* st) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::lstat(path, st);
}

ssize_t SysReadlink(const char* path, char* buffer, size_t size) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::readlink(path, buffer, size);
}

int SysFchmod(int fd, mode_t mode, const char* path) {
    TAVREL_INJECT(SysCall::Chmod, path);
    return ::fchmod(fd, mode);
}

int SysFchown(int fd, uid_t owner, gid_t group, const char* path) {
    TAVREL_INJECT(SysCall::Chmod, path);
    return ::fchown(fd, owner, group);
}

int SysOpenat(int dirfd, const char* name, int flags, mode_t mode, const char* path) {
    TAVREL_INJECT(SysCall::Open, path);
    int fd;
    do fd = ::openat(dirfd, name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int SysOpenTempFile(int dirfd, int flags, mode_t mode, const char* path) {
    TAVREL_INJECT(SysCall::TempFile, path);
    int fd;
    do fd = ::openat(dirfd, ".", flags | O_TMPFILE | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int SysFstatat(int dirfd, const char* name, struct stat* st, int flags, const char* path) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::fstatat(dirfd, name, st, flags);
}

ssize_t SysReadlinkat(int dirfd, const char* name, char* buffer, size_t size, const char* path) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::readlinkat(dirfd, name, buffer, size);
}

int SysLinkat(int fromDirfd, const char* from, int toDirfd, const char* to, int flags,
              const char* path) {
    TAVREL_INJECT(SysCall::Rename, path);
    return ::linkat(fromDirfd, from, toDirfd, to, flags);
}

int SysRenameat(int fromDirfd, const char* from, int toDirfd, const char* to, const char* path) {
    TAVREL_INJECT(SysCall::Rename, path);
    return ::renameat(fromDirfd, from, toDirfd, to);
}

int SysUnlinkat(int dirfd, const char* name, const char* path) {
    TAVREL_INJECT(SysCall::Delete, path);
    return ::unlinkat(dirfd, name, 0);
}

int SysLockForWriting(int fd, const char* path) {
    TAVREL_INJECT(SysCall::Lock, path);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int r;
    do r = ::fcntl(fd, F_OFD_SETLK, &lock);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysIoctl(int fd, unsigned long request, void* arg, const char* path) {
    TAVREL_INJECT(SysCall::Ioctl, path);
    return ::ioctl(fd, request, arg);
}

int SysMkdir(const char* path, mode_t mode) {
    TAVREL_INJECT(SysCall::MakeFolder, path);
    return ::mkdir(path, mode);
}

int SysGetFlags(int fd, const char* path) {
    TAVREL_INJECT(SysCall::Stat, path);
    return ::fcntl(fd, F_GETFL);
}

pid_t SysTcgetpgrp(int fd) {
    TAVREL_INJECT(SysCall::Ioctl, nullptr);
    return ::tcgetpgrp(fd);
}

ssize_t SysRead(int fd, void* buffer, size_t count, const char* path) {
    TAVREL_INJECT(SysCall::Read, path);
    ssize_t n;
    do n = ::read(fd, buffer, count);
    while (n < 0 && errno == EINTR);
    return n;
}

int SysPipe(int fds[2]) {
    TAVREL_INJECT(SysCall::Pipe, nullptr);
    return ::pipe2(fds, O_CLOEXEC);
}

pid_t SysSpawn(const char* path, const posix_spawn_file_actions_t* actions,
               const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
    TAVREL_INJECT(SysCall::Spawn, path);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path, actions, attributes, argv, envp);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return pid;
}

pid_t SysWaitpid(pid_t pid, int* status, int options) {
    TAVREL_INJECT(SysCall::Wait, nullptr);
    pid_t r;
    do r = ::waitpid(pid, status, options);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysPoll(struct pollfd* fds, nfds_t count, int timeoutMs) {
    TAVREL_INJECT(SysCall::Wait, nullptr);
    const int r = ::poll(fds, count, timeoutMs);
    return r < 0 && errno == EINTR ? 0 : r;
}

int SysSeekCheck(const char* path) {
    TAVREL_INJECT(SysCall::Seek, path);
    return 0;
}

namespace {
// dlerror's text, which a later call of any dl function replaces.
std::string LoaderError() {
    const char* text = ::dlerror();
    return text ? text : "unknown error";
}
}  // namespace

void* SysLoadModule(const char* path, std::string* error) {
    if (int injected = Injected(SysCall::Load, path)) {
        *error = std::strerror(injected);
        return nullptr;
    }
    void* module = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) *error = LoaderError();
    return module;
}

void* SysModuleSymbol(void* module, const char* name, const char* path, std::string* error) {
    if (int injected = Injected(SysCall::Load, path)) {
        *error = std::strerror(injected);
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(module, name);
    if (!address) *error = LoaderError();
    return address;
}

}  // namespace platform
