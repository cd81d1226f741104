#include "platform/floppy_format.h"

#include <linux/fd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "platform/file_api.h"
#include "platform/syscalls.h"

namespace platform {

bool SetFloppyLayout(HANDLE volume, const FloppyLayout& layout, bool* set) {
    *set = false;
    const int fd = FileDescriptorOf(volume);
    struct stat st;
    if (fd < 0 || SysFstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return true;
    floppy_struct floppy{};
    // Another driver's device knows no floppy layouts.
    if (SysIoctl(fd, FDGETPRM, &floppy) != 0) return true;
    if (static_cast<int>(floppy.track) == layout.cylinders &&
        static_cast<int>(floppy.head) == layout.heads &&
        static_cast<int>(floppy.sect) == layout.sectorsPerTrack)
        return true;
    floppy.track = static_cast<unsigned>(layout.cylinders);
    floppy.head = static_cast<unsigned>(layout.heads);
    floppy.sect = static_cast<unsigned>(layout.sectorsPerTrack);
    floppy.size = floppy.track * floppy.head * floppy.sect;
    if (SysIoctl(fd, FDSETPRM, &floppy) != 0) return false;
    *set = true;
    return true;
}

bool ClearFloppyLayout(HANDLE volume) {
    const int fd = FileDescriptorOf(volume);
    return fd >= 0 && SysIoctl(fd, FDCLRPRM, nullptr) == 0;
}

}  // namespace platform
