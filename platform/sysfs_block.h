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

// Where a block device hangs in the tree and what it says of itself, for telling later which
// drive read what.
struct BlockDeviceIdentity {
    // The bus it is reached through, as the tree shows it: "floppy", "loop", "usb", "ata",
    // "scsi", "virtio", "nvme", "mmc", or "" where the path names none of these.
    std::string bus;
    std::string vendor, model;  // as in BlockDeviceInfo
    // The serial number: a USB device's own, else the SCSI unit serial number page (0x80), the
    // device's serial attribute or its world-wide identifier; "" where none is there.
    std::string serial;
    std::string backingFile;  // a loop device's file
};

// What sysfs says of the block device NAME ("sdb"); a device that is not there gives empty
// fields. Reads files only, so any number of threads may ask at once.
BlockDeviceIdentity IdentifyBlockDevice(const std::string& sysfsRoot, const std::string& name);

// The name in /dev ("sdb") of the disk numbered major:minor, or of the disk a partition
// numbered so lies on, from the tree's dev/block links; "" when it has none.
std::string BlockDeviceName(const std::string& sysfsRoot, unsigned major, unsigned minor);

// The disk sequence number of the block device NAME, which the kernel counts up for each medium
// it finds in it; "" where the kernel does not say.
std::string DiskSequence(const std::string& sysfsRoot, const std::string& name);

}  // namespace platform
