#include "platform/medium_geometry.h"

#include <linux/fd.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/file_api.h"
#include "platform/syscalls.h"

namespace platform {

bool QueryMediumGeometry(HANDLE volume, MediumGeometry* geometry) {
    *geometry = MediumGeometry{};
    const int fd = FileDescriptorOf(volume);
    struct stat st;
    if (fd < 0 || SysFstat(fd, &st) != 0) return false;
    if (S_ISREG(st.st_mode)) {
        geometry->bytes = static_cast<long long>(st.st_size);
        return geometry->bytes > 0;
    }
    if (!S_ISBLK(st.st_mode)) return false;
    floppy_struct floppy{};
    const int floppyResult = SysIoctl(fd, FDGETPRM, &floppy);
    // Only a device of another driver refuses the request as unknown to it. A floppy drive that
    // could not make the format out fails it otherwise, and its size would then be that of the
    // drive's default format, not the diskette's: only the layout the driver reports counts.
    if (floppyResult != 0 && errno != ENOTTY && errno != EINVAL) return false;
    if (floppyResult == 0) {
        geometry->cylinders = floppy.track;
        geometry->heads = static_cast<long>(floppy.head);
        geometry->sectorsPerTrack = static_cast<long>(floppy.sect);
        geometry->bytesPerSector = FD_SECTSIZE(&floppy);
        return floppy.track != 0 && floppy.sect != 0;
    }
    unsigned long long bytes = 0;
    if (SysIoctl(fd, BLKGETSIZE64, &bytes) != 0) return false;
    geometry->bytes = static_cast<long long>(bytes);
    return geometry->bytes > 0;
}

}  // namespace platform
