// The drive behind a letter, as a job opens and locks it on NT: the drive that the drive map
// gives for the letter, a drive of the system or a raw image file standing in for one.
#pragma once

#include "platform/win_types.h"

namespace platform {

// Opens the drive of the letter ("\\.\X:" through the drive map); INVALID_HANDLE_VALUE with the
// reason in the thread's last-error value.
HANDLE OpenDriveVolume(char letter, DWORD access, DWORD shareMode);

// Locks the volume opened for the letter against every other program for the length of a job,
// or unlocks it: FSCTL_LOCK_VOLUME for a drive, an exclusive lock for an image file.
BOOL LockDriveVolume(HANDLE volume, char letter, bool lock);

}  // namespace platform
