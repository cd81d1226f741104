#include "platform/file_api.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/device_registry.h"
#include "platform/drive_map.h"
#include "platform/handle.h"
#include "platform/last_error.h"
#include "platform/medium_state.h"
#include "platform/syscalls.h"
#include "platform/udisks.h"

using platform::SysClose;
using platform::SysFstat;
using platform::SysOpen;

namespace {

DWORD Errno() {
    return static_cast<DWORD>(errno ? errno : EIO);
}

// The code for a failed open or transfer of a drive: a diskette user is told that the drive
// is empty or the sector bad, where the driver's own code (ENXIO, EIO, ENODATA) would not say so.
DWORD DriveErrorCode(int error, int fd, const std::string& path) {
    if (error == ENOMEDIUM) return platform::kVolumeNoMedium;
    // What the block layer makes of a drive's medium error (sd's, for one).
    if (error == ENODATA) return platform::kVolumeBadSector;
    if (error != ENXIO && error != EIO) return static_cast<DWORD>(error);
    bool absent;
    if (fd >= 0) {
        absent = platform::MediumAbsent(fd, path);
    } else {
        int probe = SysOpen(path.c_str(), O_RDONLY | O_NONBLOCK);
        absent = probe >= 0 && platform::MediumAbsent(probe, path);
        if (probe >= 0) SysClose(probe, path.c_str());
    }
    return absent ? platform::kVolumeNoMedium : static_cast<DWORD>(error);
}

// O_DIRECT wants buffers aligned to the logical block size; a page covers every device.
constexpr size_t kDirectAlign = 4096;
constexpr size_t kBounceBytes = 3 * kDirectAlign;  // holds the largest track side (9216 bytes)

struct FileObject final : KernelObject {
    int fd = -1;
    int exclusiveFd = -1;  // the O_EXCL open that holds a block device's lock
    std::string path;
    bool isVolume = false;
    bool isBlock = false;
    bool readOnly = false;       // opened read-only although writing was asked
    DWORD writeRefusal = EROFS;  // what a write of such a volume fails with
    bool canRead = true;
    bool canWrite = true;
    bool direct = false;
    bool flocked = false;
    bool written = false;
    bool noMedium = false;  // a drive that was empty at the open
    long long size = -1;    // a volume's size in bytes: transfers stop there
    unsigned long long position = 0;
    unsigned char* bounce = nullptr;  // aligned, owned, allocated once at open for O_DIRECT

    ~FileObject() override { Release(); }

    void Release() {
        if (exclusiveFd >= 0) SysClose(std::exchange(exclusiveFd, -1), path.c_str());
        if (fd >= 0) SysClose(std::exchange(fd, -1), path.c_str());
        std::free(std::exchange(bounce, nullptr));
    }

    BOOL Close() override {
        BOOL ok = TRUE;
        DWORD code = 0;
        // A volume's writes must be on the medium when its handle is closed.
        if (isVolume && written && fd >= 0 && platform::SysFsync(fd, path.c_str()) != 0) {
            ok = FALSE;
            code = Errno();
        }
        if (exclusiveFd >= 0 && SysClose(std::exchange(exclusiveFd, -1), path.c_str()) != 0 && ok) {
            ok = FALSE;
            code = Errno();
        }
        if (fd >= 0 && SysClose(std::exchange(fd, -1), path.c_str()) != 0 && ok) {
            ok = FALSE;
            code = Errno();
        }
        std::free(std::exchange(bounce, nullptr));
        if (!ok) SetLastError(code);
        return ok;
    }

    // Bytes that may be moved at the current position: a volume ends at its size.
    size_t Clamp(size_t count) const {
        if (size < 0) return count;
        if (position >= static_cast<unsigned long long>(size)) return 0;
        unsigned long long left = static_cast<unsigned long long>(size) - position;
        return count < left ? count : static_cast<size_t>(left);
    }

    BOOL Transfer(void* buffer, DWORD count, DWORD* done, bool write) {
        if (done) *done = 0;
        if (noMedium) {
            SetLastError(platform::kVolumeNoMedium);
            return FALSE;
        }
        if (write ? !canWrite : !canRead) {
            SetLastError(write && readOnly ? writeRefusal : EBADF);
            return FALSE;
        }
        // A drive's size can grow after the open: the floppy driver knows a diskette's format
        // only once a read has found it. Ask again before a transfer is cut short.
        if (isBlock && size >= 0 && position + count > static_cast<unsigned long long>(size)) {
            unsigned long long bytes = 0;
            if (platform::SysIoctl(fd, BLKGETSIZE64, &bytes, path.c_str()) == 0)
                size = static_cast<long long>(bytes);
        }
        size_t total = Clamp(count);
        size_t moved = 0;
        auto* bytes = static_cast<unsigned char*>(buffer);
        while (moved < total) {
            size_t chunk = total - moved;
            ssize_t n;
            if (direct) {
                if (chunk > kBounceBytes) chunk = kBounceBytes;
                if (chunk % 512 != 0 || position % 512 != 0) {
                    SetLastError(EINVAL);
                    return FALSE;
                }
                if (write) {
                    std::memcpy(bounce, bytes + moved, chunk);
                    n = platform::SysPwrite(fd, bounce, chunk, static_cast<off_t>(position),
                                            path.c_str());
                } else {
                    n = platform::SysPread(fd, bounce, chunk, static_cast<off_t>(position),
                                           path.c_str());
                    if (n > 0) std::memcpy(bytes + moved, bounce, static_cast<size_t>(n));
                }
            } else if (write) {
                n = platform::SysPwrite(fd, bytes + moved, chunk, static_cast<off_t>(position),
                                        path.c_str());
            } else {
                n = platform::SysPread(fd, bytes + moved, chunk, static_cast<off_t>(position),
                                       path.c_str());
            }
            if (n < 0) {
                SetLastError(isBlock ? DriveErrorCode(errno ? errno : EIO, fd, path) : Errno());
                if (done) *done = static_cast<DWORD>(moved);
                return FALSE;
            }
            if (n == 0) break;  // end of file or device: a short transfer, reported by the count
            moved += static_cast<size_t>(n);
            position += static_cast<unsigned long long>(n);
            if (write) written = true;
        }
        if (done) *done = static_cast<DWORD>(moved);
        return TRUE;
    }

    BOOL Ioctl(DWORD code, void*, DWORD, void*, DWORD, DWORD* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        if (!isVolume || (code != FSCTL_LOCK_VOLUME && code != FSCTL_UNLOCK_VOLUME)) {
            SetLastError(ENOTTY);
            return FALSE;
        }
        bool locked = exclusiveFd >= 0 || flocked;
        if (code == FSCTL_LOCK_VOLUME) {
            if (locked) {
                SetLastError(EBUSY);
                return FALSE;
            }
            if (isBlock) {
                // The kernel refuses an exclusive open while the device is mounted or
                // exclusively open elsewhere; holding one keeps everybody else out.
                int ex = SysOpen(path.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK);
                if (ex < 0 && (errno == EACCES || errno == EPERM))
                    ex = platform::UdisksOpenDevice(path, O_RDONLY | O_EXCL, errno);
                if (ex < 0) {
                    SetLastError(Errno());
                    return FALSE;
                }
                exclusiveFd = ex;
            } else {
                if (platform::SysFlock(fd, LOCK_EX | LOCK_NB, path.c_str()) != 0) {
                    SetLastError(errno == EWOULDBLOCK ? EBUSY : Errno());
                    return FALSE;
                }
                flocked = true;
            }
            return TRUE;
        }
        if (!locked) {
            SetLastError(EINVAL);
            return FALSE;
        }
        if (isBlock) {
            int ex = std::exchange(exclusiveFd, -1);
            if (SysClose(ex, path.c_str()) != 0) {
                SetLastError(Errno());
                return FALSE;
            }
        } else {
            flocked = false;
            if (platform::SysFlock(fd, LOCK_UN, path.c_str()) != 0) {
                SetLastError(Errno());
                return FALSE;
            }
        }
        return TRUE;
    }
};

FileObject* AsFile(HANDLE h) {
    return IsValidHandle(h) ? dynamic_cast<FileObject*>(h) : nullptr;
}

HANDLE Fail(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

bool IsDriveName(const std::string& name) {
    return name.size() == 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

// A drive: a block device or a regular file holding the diskette's sectors in order.
HANDLE OpenVolume(const std::string& path, DWORD access) {
    bool wantWrite = (access & GENERIC_WRITE) != 0;
    bool wantRead = (access & GENERIC_READ) != 0 || !wantWrite;
    int mode = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    bool readOnly = false;
    DWORD writeRefusal = EROFS;
    bool viaService = false;
    bool serviceRefused = false;
    // The floppy driver looks at the diskette only at a blocking open: its format (hence the
    // device's size) and its write-protect tab; an empty drive fails it. Everything else opens
    // non-blocking, so that a FIFO in the drive map cannot hang the job; sd looks at its
    // medium at any open.
    struct stat before;
    int blocking = platform::SysStat(path.c_str(), &before) == 0 && S_ISBLK(before.st_mode) &&
                           major(before.st_rdev) == FLOPPY_MAJOR
                       ? 0
                       : O_NONBLOCK;
    // A desktop user may not open the drive's device; the UDisks2 service may, once polkit
    // agrees, and hands over its descriptor. Asked at most once a refusal.
    auto open = [&](int flags) {
        int fd = SysOpen(path.c_str(), flags | blocking);
        if (fd >= 0 || (errno != EACCES && errno != EPERM) || serviceRefused) return fd;
        int denied = errno;
        fd = platform::UdisksOpenDevice(path, flags, denied);
        if (fd >= 0) {
            viaService = true;
        } else if (errno == EACCES && !platform::UdisksLastRefusal().empty()) {
            serviceRefused = true;
        }
        return fd;
    };
    int fd = open(mode);
    if (fd < 0 && wantWrite && (errno == EROFS || errno == EACCES || errno == EPERM)) {
        // A write-protected diskette is still readable: its writes are refused later, each
        // with the reason the open gave.
        int code = errno;
        fd = open(O_RDONLY);
        readOnly = fd >= 0;
        writeRefusal = code == EROFS ? platform::kVolumeWriteProtected : static_cast<DWORD>(code);
        if (fd < 0 && code != EROFS) errno = code;
    }
    bool noMedium = false;
    if (fd < 0) {
        if (blocking != 0) return Fail(Errno());
        DWORD code = DriveErrorCode(errno ? errno : EIO, -1, path);
        // An empty drive opens, as a drive does on Windows; each of its transfers then fails
        // saying that the drive is empty.
        if (code == platform::kVolumeNoMedium) fd = SysOpen(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return Fail(code);
        noMedium = true;
    }

    auto* f = new FileObject;
    f->fd = fd;
    f->path = path;
    f->isVolume = true;
    f->readOnly = readOnly;
    f->writeRefusal = writeRefusal;
    f->canRead = wantRead || readOnly;
    f->canWrite = wantWrite && !readOnly;

    struct stat st;
    if (SysFstat(fd, &st, path.c_str()) != 0) {
        DWORD code = Errno();
        delete f;
        return Fail(code);
    }
    if (S_ISDIR(st.st_mode) || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
        delete f;
        return Fail(S_ISDIR(st.st_mode) ? EISDIR : ENOTBLK);
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    if (S_ISREG(st.st_mode)) {
        f->size = st.st_size;
        return f;
    }

    f->isBlock = true;
    if (noMedium) {
        f->noMedium = true;
        f->size = 0;
        return f;
    }
    // A write-protected medium may still open read-write; its writes would then fail with a
    // less telling code. Ask the device and treat it as read-only from the start.
    int deviceReadOnly = 0;
    if (wantWrite && !readOnly &&
        platform::SysIoctl(fd, BLKROGET, &deviceReadOnly, path.c_str()) == 0 && deviceReadOnly) {
        f->readOnly = true;
        f->writeRefusal = platform::kVolumeWriteProtected;
        f->canWrite = false;
        f->canRead = true;
        readOnly = true;
    }
    int sectorSize = 0;
    platform::SysIoctl(fd, BLKSSZGET, &sectorSize, path.c_str());
    // Reads and writes must reach the medium, not the page cache: a verify right after an
    // expand has to read the diskette itself. O_DIRECT does that with one bounce buffer.
    if (sectorSize == 512 && viaService) {
        // The service's descriptor cannot be opened again; Linux switches it to O_DIRECT.
        void* buffer = nullptr;
        int flags = fcntl(f->fd, F_GETFL);
        if (flags >= 0 && posix_memalign(&buffer, kDirectAlign, kBounceBytes) == 0) {
            if (fcntl(f->fd, F_SETFL, flags | O_DIRECT) == 0) {
                f->bounce = static_cast<unsigned char*>(buffer);
                f->direct = true;
            } else {
                std::free(buffer);
            }
        }
    } else if (sectorSize == 512) {
        int dfd = SysOpen(path.c_str(), (readOnly ? O_RDONLY : mode) | O_DIRECT);
        void* buffer = nullptr;
        if (dfd >= 0 && posix_memalign(&buffer, kDirectAlign, kBounceBytes) == 0) {
            SysClose(std::exchange(f->fd, dfd), path.c_str());
            f->bounce = static_cast<unsigned char*>(buffer);
            f->direct = true;
        } else if (dfd >= 0) {
            SysClose(dfd, path.c_str());
        }
    }
    if (!f->direct) {
        // Without O_DIRECT, start from an empty cache so reads come from the device.
        platform::SysIoctl(f->fd, BLKFLSBUF, nullptr, path.c_str());
    }
    // Taken from the descriptor the job uses, once its open has had the driver look at the
    // diskette now in the drive.
    unsigned long long bytes = 0;
    if (platform::SysIoctl(f->fd, BLKGETSIZE64, &bytes, path.c_str()) == 0)
        f->size = static_cast<long long>(bytes);
    // Nothing behind the device at all (a loop device with no file): an empty drive too.
    if (f->size == 0) f->noMedium = true;
    return f;
}

HANDLE OpenFile(const char* path, DWORD access, DWORD disposition) {
    bool wantWrite = (access & GENERIC_WRITE) != 0;
    bool wantRead = (access & GENERIC_READ) != 0 || !wantWrite;
    int flags = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (disposition) {
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case OPEN_EXISTING:
            break;
        default:
            return Fail(EINVAL);
    }
    if (disposition != CREATE_NEW) {
        // Refuse what is not a regular file before opening it: opening a FIFO would block,
        // and truncating anything but a regular file would be wrong.
        struct stat st;
        if (platform::SysStat(path, &st) == 0) {
            if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
            if (!S_ISREG(st.st_mode)) return Fail(EINVAL);
        } else if (errno != ENOENT || disposition == OPEN_EXISTING) {
            return Fail(Errno());
        }
    }
    int fd = SysOpen(path, flags, 0666);
    if (fd < 0) return Fail(Errno());
    auto* f = new FileObject;
    f->fd = fd;
    f->path = path;
    f->canRead = wantRead;
    f->canWrite = wantWrite;
    return f;
}

}  // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD creationDisposition, DWORD,
                   HANDLE) {
    if (!path || !*path) return Fail(ENOENT);
    std::string p(path);
    if (p.rfind("\\\\.\\", 0) == 0) {
        std::string name = p.substr(4);
        if (IsDriveName(name)) {
            std::string target = platform::ResolveDriveLetter(name[0]);
            if (target.empty()) return Fail(ENODEV);
            return OpenVolume(target, access);
        }
        HANDLE device = platform::OpenRegisteredDevice(name);
        return device ? device : INVALID_HANDLE_VALUE;
    }
    return OpenFile(path, access, creationDisposition);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* bytesRead, void*) {
    FileObject* f = AsFile(file);
    if (!f) {
        if (bytesRead) *bytesRead = 0;
        SetLastError(EBADF);
        return FALSE;
    }
    return f->Transfer(buffer, count, bytesRead, false);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* bytesWritten, void*) {
    FileObject* f = AsFile(file);
    if (!f) {
        if (bytesWritten) *bytesWritten = 0;
        SetLastError(EBADF);
        return FALSE;
    }
    return f->Transfer(const_cast<void*>(buffer), count, bytesWritten, true);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    FileObject* f = AsFile(file);
    if (!f) {
        SetLastError(EBADF);
        return INVALID_SET_FILE_POINTER;
    }
    if (platform::SysSeekCheck(f->path.c_str()) != 0) {
        SetLastError(Errno());
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is an unsigned 32-bit offset for FILE_BEGIN.
    long long move =
        distanceHigh
            ? static_cast<long long>((static_cast<unsigned long long>(*distanceHigh) << 32) |
                                     static_cast<DWORD>(distance))
            : (moveMethod == FILE_BEGIN ? static_cast<long long>(static_cast<DWORD>(distance))
                                        : static_cast<long long>(distance));
    long long base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = static_cast<long long>(f->position);
    } else if (moveMethod == FILE_END) {
        struct stat st;
        if (f->size >= 0) {
            base = f->size;
        } else if (SysFstat(f->fd, &st, f->path.c_str()) == 0) {
            base = st.st_size;
        } else {
            SetLastError(Errno());
            return INVALID_SET_FILE_POINTER;
        }
    } else if (moveMethod != FILE_BEGIN) {
        SetLastError(EINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    long long target = base + move;
    if (target < 0) {
        SetLastError(EINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    f->position = static_cast<unsigned long long>(target);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(target >> 32);
    SetLastError(0);
    return static_cast<DWORD>(target & 0xFFFFFFFF);
}

BOOL FlushFileBuffers(HANDLE file) {
    FileObject* f = AsFile(file);
    if (!f) {
        SetLastError(EBADF);
        return FALSE;
    }
    if (platform::SysFsync(f->fd, f->path.c_str()) != 0) {
        SetLastError(Errno());
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(const char* path) {
    if (!path || platform::SysUnlink(path) != 0) {
        SetLastError(path ? Errno() : ENOENT);
        return FALSE;
    }
    return TRUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytesReturned, void*) {
    if (!IsValidHandle(device)) {
        SetLastError(EBADF);
        return FALSE;
    }
    return device->Ioctl(code, in, inSize, out, outSize, bytesReturned);
}

DWORD GetFileAttributesA(const char* path) {
    struct stat st;
    if (!path || platform::SysStat(path, &st) != 0) {
        SetLastError(path ? Errno() : ENOENT);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISREG(st.st_mode)) return FILE_ATTRIBUTE_DEVICE;
    return access(path, W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

namespace platform {
bool ForEachFolderEntry(const std::string& folder,
                        const std::function<void(const char* name)>& visit) {
    int fd = SysOpen(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    DIR* d = fdopendir(fd);
    if (!d) {
        SysClose(fd, folder.c_str());
        return false;
    }
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) visit(e->d_name);
    }
    closedir(d);
    return true;
}

HANDLE AdoptFileDescriptor(int fd, const std::string& path, DWORD access) {
    auto* f = new FileObject;
    f->fd = fd;
    f->path = path;
    f->canWrite = (access & GENERIC_WRITE) != 0;
    f->canRead = (access & GENERIC_READ) != 0;
    return f;
}

int FileDescriptorOf(HANDLE file) {
    FileObject* f = AsFile(file);
    return f ? f->fd : -1;
}

bool QueryVolumeInfo(HANDLE volume, VolumeInfo* info) {
    FileObject* f = AsFile(volume);
    if (!f || !f->isVolume || !info) return false;
    info->isBlockDevice = f->isBlock;
    info->readOnly = f->readOnly;
    info->directIo = f->direct;
    info->size = f->size;
    return true;
}
}  // namespace platform
