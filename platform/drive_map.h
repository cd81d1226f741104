// Which block device or raw image file stands for a drive letter.
//
// Order: a mapping set in this process (the console tool's DRIVE paths, tests), then the key of
// the letter in section "Drives" of the profile file, then /dev/fd0 for A and /dev/fd1 for B.
#pragma once

#include <string>

namespace platform {

// "" when the letter has no usable mapping.
std::string ResolveDriveLetter(char letter);

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
