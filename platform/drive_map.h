// Which block device or raw image file stands for a drive letter.
//
// Order: a mapping set in this process (the console tool's DRIVE paths, tests), then the key of
// the letter in section "Drives" of the profile file, then /dev/fd0 for A and /dev/fd1 for B on
// Linux, the system's own drive of the letter (\\.\X:) on Windows.
#pragma once

#include <string>

namespace platform {

// "" when the letter has no usable mapping.
std::string ResolveDriveLetter(char letter);

// Whether two paths lead to the same drive, however they are spelled (a link, /dev/disk/by-id):
// the same block device by its device number, or the same file by its device and inode.
// Paths that cannot be looked at are the same only when they are spelled the same.
bool SameDrive(const std::string& a, const std::string& b);

// A name for the block device at DEVICE that still leads to it after a reboot or when plugged in
// again, where /dev/sdb may be another drive: the link in BY_ID (udev's folder) whose target is
// it, a usb- or ata- one first, never a partition's (-partN). DEVICE itself when it has none
// (a loop device) or is not a block device.
std::string StableDevicePath(const std::string& device,
                             const std::string& byId = "/dev/disk/by-id");

// Where the mapping of a letter came from, for the console tool's listing.
enum class DriveSource { None, Process, Profile, Default };
DriveSource DriveLetterSource(char letter);

// Maps a letter for the lifetime of the object, then restores what was there before.
class ScopedDriveMapping {
  public:
    ScopedDriveMapping(char letter, std::string path);
    ~ScopedDriveMapping();
    ScopedDriveMapping(const ScopedDriveMapping&) = delete;
    ScopedDriveMapping& operator=(const ScopedDriveMapping&) = delete;

  private:
    char m_letter;
    bool m_had;
    std::string m_previous;
};

}  // namespace platform
