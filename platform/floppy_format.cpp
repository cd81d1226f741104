#include "platform/floppy_format.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/major.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <string>

#include "platform/file_api.h"
#include "platform/last_error.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

// The floppy driver's descriptor behind volume; -1 for an image file, another driver's device
// or a handle of no file at all, whose layout nobody guesses.
int FloppyDescriptorOf(HANDLE volume, bool* failed) {
    *failed = false;
    const int fd = FileDescriptorOf(volume);
    struct stat st;
    if (fd < 0) return -1;
    if (SysFstat(fd, &st) != 0) {
        *failed = true;
        SetLastError(static_cast<DWORD>(errno));
        return -1;
    }
    return S_ISBLK(st.st_mode) && major(st.st_rdev) == FLOPPY_MAJOR ? fd : -1;
}

// A request that changes the driver's state. The driver takes one only on a descriptor open
// for writing, which a compress does not have and a write-protected diskette refuses; the
// access mode with both bits set (O_ACCMODE) is its old way of opening for such requests
// alone, with neither reads nor writes, and O_NONBLOCK keeps the open from looking at the
// diskette. Without write permission on the device node (a descriptor UDisks2 handed over),
// the volume's own descriptor is tried: it takes the request when it was opened for writing.
int DriverRequest(int fd, unsigned long request, void* arg) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int requestFd = SysOpen(path.c_str(), O_ACCMODE | O_NONBLOCK);
    if (requestFd < 0 && errno != EACCES && errno != EPERM) return -1;
    const int target = requestFd >= 0 ? requestFd : fd;
    const int result = SysIoctl(target, request, arg, path.c_str());
    const int code = errno;
    if (requestFd >= 0) SysClose(requestFd, path.c_str());
    errno = code;
    return result;
}

}  // namespace

bool SetFloppyLayout(HANDLE volume, const FloppyLayout& layout, bool* set) {
    *set = false;
    bool failed = false;
    const int fd = FloppyDescriptorOf(volume, &failed);
    if (fd < 0) return !failed;
    // Beyond any diskette's; the driver refuses more cylinders than the drive has.
    if (layout.cylinders <= 0 || layout.cylinders > 255 || layout.heads <= 0 || layout.heads > 2 ||
        layout.sectorsPerTrack <= 0 || layout.sectorsPerTrack > 255) {
        SetLastError(EINVAL);
        return false;
    }
    floppy_struct current{};
    floppy_drive_params drive{};
    if (SysIoctl(fd, FDGETPRM, &current) != 0 || SysIoctl(fd, FDGETDRVPRM, &drive) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    const auto cylinders = static_cast<unsigned>(layout.cylinders);
    const auto heads = static_cast<unsigned>(layout.heads);
    const auto sectors = static_cast<unsigned>(layout.sectorsPerTrack);
    if (current.track == cylinders && current.head == heads && current.sect == sectors) return true;
    // The format the driver found read track 0, so its data rate, gaps and step timing suit
    // this diskette in this drive (the 300 kbit/s of a 40-track diskette in a 1.2 MB drive,
    // the 500 kbit/s of a 21-sector one in a 1.44 MB drive): only the count of cylinders,
    // heads and sectors is the boot sector's. Double stepping stays where the drive has the
    // tracks for it; a layout of more cylinders than double steps reach is stepped singly.
    floppy_struct wanted = current;
    wanted.track = cylinders;
    wanted.head = heads;
    wanted.sect = sectors;
    wanted.size = cylinders * heads * sectors;
    if ((wanted.stretch & FD_STRETCH) != 0 && cylinders > (drive.tracks >> 1u))
        wanted.stretch &= ~static_cast<unsigned>(FD_STRETCH);
    if (DriverRequest(fd, FDSETPRM, &wanted) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    *set = true;
    return true;
}

bool ClearFloppyLayout(HANDLE volume) {
    bool failed = false;
    const int fd = FloppyDescriptorOf(volume, &failed);
    if (fd < 0) return !failed;
    if (DriverRequest(fd, FDCLRPRM, nullptr) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

}  // namespace platform
