// The kernel's view of the block devices, read from sysfs: names, sizes, removable media, the
// bus and the identification strings the device reports.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct BlockDeviceInfo {
    std::string name;        // "sdb", "fd0": the node in /dev
    long long sectors = -1;  // 512-byte sectors; 0 without a medium; -1 when unreadable
    bool removable = false;
    bool usb = false;   // attached through a USB bus
    bool loop = false;  // a loop device with a file behind it
    std::string vendor;
    std::string model;        // without the padding the device reports
    int mediaAvailable = -1;  // UDisks2's MediaAvailable: 1 or 0; -1 where unknown (sysfs)
};

// Every block device under SYSFS_ROOT/block ("/sys" on a running system), sorted by name.
// A tree that is not there gives an empty list.
std::vector<BlockDeviceInfo> ListBlockDevices(const std::string& sysfsRoot);

// The file behind the loop device NAME ("loop0"), as sysfs names it to anybody; "" when the
// device is unbound or no loop device.
std::string LoopBackingFile(const std::string& sysfsRoot, const std::string& name);

// The disk sequence number of the block device NAME, which the kernel counts up for each medium
// it finds in it; "" where the kernel does not say.
std::string DiskSequence(const std::string& sysfsRoot, const std::string& name);

}  // namespace platform
