// Opening a block device through the UDisks2 service, for users who may not open it
// themselves. The service asks polkit whether this user may, and hands back a descriptor.
#pragma once

#include <string>
#include <vector>

#include "platform/sysfs_block.h"

namespace platform {

// Asks UDisks2 on the system bus to open the block device at path with the access mode of
// flags (O_RDONLY, O_WRONLY or O_RDWR) plus O_EXCL and O_DIRECT where given. Returns the
// descriptor, or -1 with errno set: refusedCode when the bus or the service is not there (or
// is older than 2.7.3), EACCES when the user is not allowed or the descriptor does not allow
// the access asked for, the device's own errno (EBUSY...) when opening failed.
int UdisksOpenDevice(const std::string& path, int flags, int refusedCode);

// Whether the descriptor's access mode gives the access of flags (O_RDONLY, O_WRONLY, O_RDWR).
bool DescriptorAllows(int fd, int flags);

// Why the last UdisksOpenDevice (of any thread) failed, in the service's words; empty when it
// succeeded or never reached the service. Lets a front end say more than "Permission denied".
std::string UdisksLastRefusal();

// Whether the service may ask the user for permission (polkit's dialog or a terminal agent).
// By default only when standard input is a terminal and this process is in its foreground, so a
// script or a background job fails at once instead of waiting for an answer nobody gives. The
// dialog allows it.
void AllowInteractiveAuthorization(bool allow);

// The whole block devices the UDisks2 service knows (partitions left out), as the sysfs scan
// reports them, sorted by name. False when the bus or the service does not answer; never asks
// the user anything.
bool UdisksListBlockDevices(std::vector<BlockDeviceInfo>* devices);

// What UDisks2 says of the drive behind a block device, where sysfs does not say it.
struct UdisksDrive {
    std::string vendor, model, serial;
    std::string bus;  // its ConnectionBus: "usb", "sdio", "ieee1394", or ""
};

// The drive of the block device at path ("/dev/sdb") as the running service describes it. False
// when there is no system bus, the service is not running (it is not started for this), it
// knows no drive for the device, or it does not answer within two seconds. Reads properties
// only: nobody is ever asked for permission.
bool UdisksDescribeDrive(const std::string& path, UdisksDrive* drive);

}  // namespace platform
