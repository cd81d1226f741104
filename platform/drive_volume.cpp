#include "platform/drive_volume.h"

#include <cerrno>

#include "platform/file_api.h"

namespace platform {

// The platform's own CreateFileA and DeviceIoControl know the drive map and image files.
HANDLE OpenDriveVolume(char letter, DWORD access, DWORD shareMode) {
    const char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    return CreateFileA(path, access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL LockDriveVolume(HANDLE volume, char, bool lock) {
    DWORD returned = 0;
    return DeviceIoControl(volume, lock ? FSCTL_LOCK_VOLUME : FSCTL_UNLOCK_VOLUME, nullptr, 0,
                           nullptr, 0, &returned, nullptr);
}

// A letter the drive map does not know, a path that is not there, a device node whose device
// is gone.
bool DriveMissing(DWORD code) {
    return code == ENOENT || code == ENODEV || code == ENOTDIR || code == ENXIO;
}

// The exclusive open is refused while the diskette is mounted, which no window the user could
// close holds: the system's own text says it.
bool DriveVolumeInUse(DWORD) {
    return false;
}

// UDisks2 is asked already when the device may not be opened, and its refusal is told apart.
const char* DriveAccessHint(bool) {
    return "";
}

}  // namespace platform
