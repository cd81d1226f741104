// The floppy drives this machine has: legacy fdN drives, removable USB drives holding a
// diskette of a supported size, and loop devices of such a size, found through the desktop's
// disk service where it runs and in the kernel's sysfs tree otherwise. Both front ends list
// them, and each drive gets the letter that reaches it or a free one that would.
#pragma once

#include <string>
#include <vector>

#include "platform/sysfs_block.h"

enum class FloppyMedium { Unknown, Absent, Present };

struct FloppyDrive {
    std::string device;   // "/dev/sdb"
    bool legacy = false;  // the floppy controller's fdN
    bool loop = false;    // a loop device, with a diskette's image behind it
    std::string format;   // "1.44 MB"; "" when the size names no supported diskette
    FloppyMedium medium = FloppyMedium::Unknown;
    std::string vendor;
    std::string model;
    char letter = 0;      // the letter that reaches the device, or a free one; 0 if none is free
    bool mapped = false;  // the letter reaches it already
};

// The floppy drives among DEVICES. A legacy drive's medium is left Unknown (see ProbeMedium).
std::vector<FloppyDrive> FloppyDrivesAmong(const std::vector<platform::BlockDeviceInfo>& devices);

// The same, from the sysfs tree at SYSFS_ROOT.
std::vector<FloppyDrive> FindFloppyDrives(const std::string& sysfsRoot);

// The drives of this machine now: through UDisks2 when the service answers (it is never asked
// for permission here), else from /sys. *throughService, when given, says which. Letters are
// not chosen yet.
std::vector<FloppyDrive> DiscoverFloppyDrives(bool* throughService = nullptr);

// Whether a legacy drive has a diskette in: opening it without O_NONBLOCK makes the driver
// look, and it refuses the open when the drive is empty. Slow: the motor spins up.
FloppyMedium ProbeMedium(const std::string& device);

// The letter of each drive through the drive map: one that reaches it already (by any name of
// the device), or the first letter that is free (unmapped, or a default whose device is not there),
// none used twice.
void ChooseLetters(std::vector<FloppyDrive>& drives);

// Writes "L=device" into section [Drives] of PROFILE for every drive not mapped yet, the device
// by its /dev/disk/by-id name where it has one (StableDevicePath), leaving every other line as
// it was. False with the code in the thread's last-error value when the
// file cannot be written.
bool AssignLetters(const std::vector<FloppyDrive>& drives, const std::string& profile);

// "/dev/sdb: TEAC USB UF000x, 1.44 MB", for a list entry or a tooltip.
std::string DescribeFloppyDrive(const FloppyDrive& drive);
