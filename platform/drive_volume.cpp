#include "platform/drive_volume.h"

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

}  // namespace platform
