// The drive behind a letter, as a job opens and locks it on NT: the drive that the drive map
// gives for the letter, a drive of the system or a raw image file standing in for one.
#pragma once

#include "platform/win_types.h"

namespace platform {

// Opens the drive of the letter ("\\.\X:" through the drive map); INVALID_HANDLE_VALUE with the
// reason in the thread's last-error value.
HANDLE OpenDriveVolume(char letter, DWORD access, DWORD shareMode);

// Whether the code a failed OpenDriveVolume left says that there is no drive behind the letter
// at all, rather than one the system would not open.
bool DriveMissing(DWORD code);

// Locks the volume opened for the letter against every other program for the length of a job,
// or unlocks it: FSCTL_LOCK_VOLUME for a drive, an exclusive lock for an image file.
// Where a drive cannot be locked at once because something on it is open, the lock is tried
// again for a few seconds before its refusal stands.
BOOL LockDriveVolume(HANDLE volume, char letter, bool lock);

// Whether a refused lock's code means that a window or program still uses the drive, which the
// user can close.
bool DriveVolumeInUse(DWORD code);

// Makes the system's file system forget what it knew of the diskette in the locked drive, so
// that it reads the one just written instead of writing its cached copy back over it. Called
// after the writes and before the unlock.
BOOL DismountDriveVolume(HANDLE volume, char letter);

// What the user can do about a drive the system refused to open (access denied), for a job
// that writes it or only reads it; empty when there is nothing to add to the system's text.
const char* DriveAccessHint(bool writing);

}  // namespace platform
