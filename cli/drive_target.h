// The DRIVE argument: a letter ("A" or "A:") resolved through the drive map, or a path to a
// block device or raw image file that is mapped to a free letter for as long as the job runs.
#pragma once

#include <optional>
#include <string>

#include "platform/drive_map.h"

namespace cli {

class DriveTarget {
  public:
    // False, with a one-line reason, when the argument can name no drive.
    bool Resolve(const std::string& argument, std::string* error);

    char letter() const { return m_letter; }
    // How to name the drive to the user: "A:" or the path given.
    const std::string& label() const { return m_label; }
    // The device or file behind the letter, "" when the letter has no mapping.
    std::string path() const { return platform::ResolveDriveLetter(m_letter); }

  private:
    char m_letter = 0;
    std::string m_label;
    std::optional<platform::ScopedDriveMapping> m_mapping;
};

// "A", "a" and "A:" are letters; anything else is a path.
bool IsDriveLetterArgument(const std::string& argument);

// Why a job found no drive behind LETTER, named as the user named it (label: "A:" or the path
// given), with the command that lists what is there: "Q: is not in the drive map (...)".
std::string MissingDriveReason(const std::string& label, char letter);

// What holds the drive a job could not have to itself: "/dev/sdb is mounted at /media/me/DISK
// (unmount it)", or another program.
std::string HeldDriveReason(const std::string& label, char letter);

}  // namespace cli
