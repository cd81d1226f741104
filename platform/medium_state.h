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
    // time, the file behind a loop device, on Windows the driver's media change count; "" for
    // any other drive, whose removal is seen.
    std::string identity;
    // When to look again: a drive on the floppy controller (Linux's floppy driver, Windows's
    // legacy floppy driver) only after its motor has stopped (it stops about three seconds
    // after a look), anything else twice a second.
    int pollMs = 500;
    // The drive says its diskette was changed since it was last read: a diskette swapped
    // between two looks.
    bool changed = false;
};

constexpr int kFloppyPollMs = 4000;

// The state of the drive or image file at path now.
MediumState PollMedium(const std::string& path);

}  // namespace platform
