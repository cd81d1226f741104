// Whether a drive holds a medium, asked without reading it: for the floppy driver, its
// disk-change line; for any other removable drive, its size; for an image file standing in
// for a drive, the file itself.
#pragma once

#include <string>

namespace platform {

// Whether the drive open on fd (a block device) is empty.
bool MediumAbsent(int fd, const std::string& path);

struct MediumState {
    bool present = false;
    // Tells one medium from the next where the drive cannot: a file's inode, size and change
    // time, the file behind a loop device; "" for any other drive, whose removal is seen.
    std::string identity;
};

// The state of the drive or image file at path now. The floppy drive is only polled, so its
// motor stops between polls.
MediumState PollMedium(const std::string& path);

}  // namespace platform
