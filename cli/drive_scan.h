// drives --scan: the block devices that look like floppy drives, the drive letter that reaches
// each or a free one that would, and the profile lines that map them.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "platform/sysfs_block.h"

namespace cli {

enum class Medium { Unknown, Absent, Present };

struct FloppyDrive {
    std::string device;   // "/dev/sdb"
    bool legacy = false;  // the floppy controller's fdN
    bool loop = false;    // a loop device, with a diskette's image behind it
    std::string format;   // "1.44 MB"; "" when the size names no supported diskette
    Medium medium = Medium::Unknown;
    std::string vendor;
    std::string model;
    char letter = 0;      // the letter that reaches the device, or a free one; 0 if none is free
    bool mapped = false;  // the letter reaches it already
};

// Legacy fdN drives, removable USB drives holding a diskette of a supported size, and loop
// devices of such a size, among DEVICES. A legacy drive's medium is left Unknown (see
// ProbeMedium).
std::vector<FloppyDrive> FloppyDrivesAmong(const std::vector<platform::BlockDeviceInfo>& devices);

// The same, from the sysfs tree at SYSFS_ROOT.
std::vector<FloppyDrive> FindFloppyDrives(const std::string& sysfsRoot);

// Whether a legacy drive has a diskette in: opening it without O_NONBLOCK makes the driver
// look, and it refuses the open when the drive is empty.
Medium ProbeMedium(const std::string& device);

// The letter of each drive through the drive map: one that reaches it already, or the first
// letter that is free (unmapped, or a default whose device is not there), none used twice.
void ChooseLetters(std::vector<FloppyDrive>& drives);

// Writes "L=device" into section [Drives] of PROFILE for every drive not mapped yet, leaving
// every other line as it was. False with errno set when the file cannot be written.
bool AssignLetters(const std::vector<FloppyDrive>& drives, const std::string& profile);

int RunDriveScan(bool assign, Console& console);

}  // namespace cli
