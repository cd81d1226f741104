#include "platform/floppy_format.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/major.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "platform/file_api.h"
#include "platform/last_error.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

// The floppy driver's descriptor behind volume, and its device; -1 for an image file, another
// driver's device or a handle of no file at all, whose layout nobody guesses.
int FloppyDescriptorOf(HANDLE volume, dev_t* device, bool* failed) {
    *failed = false;
    const int fd = FileDescriptorOf(volume);
    struct stat st;
    if (fd < 0) return -1;
    if (SysFstat(fd, &st) != 0) {
        *failed = true;
        SetLastError(static_cast<DWORD>(errno));
        return -1;
    }
    *device = st.st_rdev;
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

// The driver's own format of each drive whose layout was set, to be put back: jobs on several
// drives run at once.
std::mutex g_guessesLock;
std::map<dev_t, floppy_struct> g_guesses;

}  // namespace

bool SetFloppyLayout(HANDLE volume, const FloppyLayout& layout, bool* set) {
    *set = false;
    dev_t device = 0;
    bool failed = false;
    const int fd = FloppyDescriptorOf(volume, &device, &failed);
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
    {
        std::lock_guard<std::mutex> lock(g_guessesLock);
        g_guesses[device] = current;
    }
    *set = true;
    return true;
}

// The driver's own format goes back as it was, rather than through FDCLRPRM: that one makes the
// driver look at the diskette again at once, and a format outside its list (a single-sided
// one) fails that look and with it the next diskette's first read. Like the driver's own
// finding, the format it gets back is dropped when the diskette changes.
bool ClearFloppyLayout(HANDLE volume) {
    dev_t device = 0;
    bool failed = false;
    const int fd = FloppyDescriptorOf(volume, &device, &failed);
    if (fd < 0) return !failed;
    floppy_struct guess{};
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(g_guessesLock);
        const auto found = g_guesses.find(device);
        if (found != g_guesses.end()) {
            guess = found->second;
            known = true;
            g_guesses.erase(found);
        }
    }
    if (known ? DriverRequest(fd, FDSETPRM, &guess) != 0
              : DriverRequest(fd, FDCLRPRM, nullptr) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

}  // namespace platform
