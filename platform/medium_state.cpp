#include "platform/medium_state.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/syscalls.h"

namespace platform {

// The floppy driver polls its drive and tells whether the disk-change line is still up (it
// stays up while the drive is empty); any other removable drive, sd among them, re-reads its
// medium at an open and then has a size of 0 while it is empty.
bool MediumAbsent(int fd, const std::string& path) {
    floppy_drive_struct state{};
    if (SysIoctl(fd, FDPOLLDRVSTAT, &state, path.c_str()) == 0)
        return (state.flags & FD_DISK_CHANGED) != 0;
    int probe = SysOpen(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (probe < 0) return errno == ENOMEDIUM;
    unsigned long long bytes = 0;
    bool absent = SysIoctl(probe, BLKGETSIZE64, &bytes, path.c_str()) == 0 && bytes == 0;
    SysClose(probe, path.c_str());
    return absent;
}

MediumState PollMedium(const std::string& path) {
    MediumState medium;
    struct stat st {};
    if (SysStat(path.c_str(), &st) != 0) return medium;
    if (!S_ISBLK(st.st_mode)) {
        // An image file is in the drive while it has content; a new file, or one written
        // again, is the next diskette.
        medium.present = S_ISREG(st.st_mode) && st.st_size > 0;
        medium.identity = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                          std::to_string(st.st_ctim.tv_sec) + "." +
                          std::to_string(st.st_ctim.tv_nsec);
        return medium;
    }
    // O_NONBLOCK: the floppy driver opens an empty drive, and does not spin it up to open.
    int fd = SysOpen(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return medium;
    medium.present = !MediumAbsent(fd, path);
    SysClose(fd, path.c_str());
    return medium;
}

}  // namespace platform
