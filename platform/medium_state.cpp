#include "platform/medium_state.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/syscalls.h"
#include "platform/sysfs_block.h"
#include "platform/udisks.h"

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

namespace {

// The name of the device in /dev that path leads to ("loop0").
std::string DeviceName(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    std::string device = real ? real : path;
    std::free(real);
    return device.substr(device.find_last_of('/') + 1);
}

// A drive the user may not open is asked about where anybody may ask: UDisks2, which watches
// removable drives itself, else the size in sysfs.
bool PresentByListing(const std::string& name) {
    std::vector<BlockDeviceInfo> devices;
    if (!UdisksListBlockDevices(&devices)) devices = ListBlockDevices("/sys");
    for (const BlockDeviceInfo& info : devices)
        if (info.name == name)
            return info.mediaAvailable < 0 ? info.sectors > 0 : info.mediaAvailable == 1;
    return false;
}

// A loop device is given another file in a moment, too quickly to be seen empty between two
// polls: the file behind it tells one diskette from the next.
std::string LoopIdentity(unsigned long long device, unsigned long long inode) {
    return "loop " + std::to_string(device) + ":" + std::to_string(inode);
}

// The same for a loop device the user may not open, from the file sysfs names.
std::string LoopIdentityByListing(const std::string& name) {
    const std::string file = LoopBackingFile("/sys", name);
    struct stat st {};
    if (file.empty()) return {};
    // A file deleted since, or in a folder the user may not look into, still has its name.
    if (SysStat(file.c_str(), &st) != 0) return "loop " + file;
    return LoopIdentity(st.st_dev, st.st_ino);
}

// Any other drive: the kernel numbers each medium it finds in a disk (Linux 5.15 and later),
// so a diskette swapped quicker than a poll, never seen empty, is still another one.
std::string SequenceIdentity(const std::string& sequence) {
    return sequence.empty() ? "" : "sequence " + sequence;
}

}  // namespace

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
    if (fd < 0) {
        if (errno != EACCES && errno != EPERM) return medium;
        const std::string name = DeviceName(path);
        medium.present = PresentByListing(name);
        if (medium.present) medium.identity = LoopIdentityByListing(name);
        if (medium.present && medium.identity.empty())
            medium.identity = SequenceIdentity(DiskSequence("/sys", name));
        return medium;
    }
    floppy_drive_struct state{};
    if (SysIoctl(fd, FDPOLLDRVSTAT, &state, path.c_str()) == 0) {
        SysClose(fd, path.c_str());
        // The poll runs the motor for a moment; it stops again before the next one.
        medium.pollMs = kFloppyPollMs;
        if (!(state.flags & FD_DISK_CHANGED)) {
            medium.present = true;
            return medium;
        }
        // The driver keeps its change flag up until the drive is opened for reading, even with
        // a new diskette in: only such an open, which looks at the drive, tells.
        medium.changed = true;
        int probe = SysOpen(path.c_str(), O_RDONLY);
        medium.present = probe >= 0;
        if (probe >= 0) SysClose(probe, path.c_str());
        return medium;
    }
    medium.present = !MediumAbsent(fd, path);
    loop_info64 loop{};
    unsigned long long sequence = 0;
    if (medium.present && SysIoctl(fd, LOOP_GET_STATUS64, &loop, path.c_str()) == 0)
        medium.identity = LoopIdentity(loop.lo_device, loop.lo_inode);
    else if (medium.present && SysIoctl(fd, BLKGETDISKSEQ, &sequence, path.c_str()) == 0)
        medium.identity = SequenceIdentity(std::to_string(sequence));
    SysClose(fd, path.c_str());
    return medium;
}

}  // namespace platform
