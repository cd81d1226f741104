#include <string>

#include "platform/drive_map.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"
#include "platform/retry.h"

namespace platform {
namespace {

// The lock is refused while any file on the volume is open: an Explorer window on the drive, a
// prompt sitting in it, the shell or the virus scanner looking at a just-inserted diskette. Most
// of these let go within seconds; Microsoft's own example of locking a removable volume tries
// again every half second. Five seconds in all.
constexpr int kLockTries = 10;
constexpr DWORD kLockPauseMs = 500;

// What the drive map gives for the letter, or the system's own drive of it; an image file
// is whatever is not in the device namespace.
std::string DrivePath(char letter, bool* imageFile) {
    std::string path = ResolveDriveLetter(letter);
    if (path.empty()) path = std::string("\\\\.\\") + letter + ":";
    *imageFile = path.rfind("\\\\.\\", 0) != 0;
    return path;
}

BOOL VolumeControl(HANDLE volume, DWORD code) {
    // Windows wants somewhere to put the byte count when there is no OVERLAPPED.
    DWORD returned = 0;
    return DeviceIoControl(volume, code, nullptr, 0, nullptr, 0, &returned, nullptr);
}

}  // namespace

HANDLE OpenDriveVolume(char letter, DWORD access, DWORD shareMode) {
    bool imageFile = false;
    const std::string path = DrivePath(letter, &imageFile);
    HANDLE volume =
        CreateFileA(path.c_str(), access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
    // A diskette whose boot sector states fewer sectors than it has is still read whole: the
    // file system leaves the bounds to the driver. Where the call is not supported (an image
    // file, a file system without it) nothing changes, so its result does not matter.
    if (volume != INVALID_HANDLE_VALUE && !imageFile) {
        VolumeControl(volume, FSCTL_ALLOW_EXTENDED_DASD_IO);
        SetLastError(ERROR_SUCCESS);
    }
    return volume;
}

bool DriveMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool DriveVolumeInUse(DWORD code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

BOOL LockDriveVolume(HANDLE volume, char letter, bool lock) {
    bool imageFile = false;
    DrivePath(letter, &imageFile);
    if (!imageFile) {
        if (!lock) return VolumeControl(volume, FSCTL_UNLOCK_VOLUME);
        return RetryWhile([volume] { return VolumeControl(volume, FSCTL_LOCK_VOLUME); },
                          DriveVolumeInUse, kLockTries, kLockPauseMs);
    }
    // A file system refuses the volume lock on a file. The whole file locked, as far as any
    // file may grow, keeps other programs from reading or writing it while the job runs.
    OVERLAPPED from{};
    if (!lock) return UnlockFileEx(volume, 0, MAXDWORD, MAXDWORD, &from);
    return LockFileEx(volume, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                      MAXDWORD, &from);
}

BOOL DismountDriveVolume(HANDLE volume, char letter) {
    bool imageFile = false;
    DrivePath(letter, &imageFile);
    // An image file has no file system of its own mounted on it.
    if (imageFile) return TRUE;
    return VolumeControl(volume, FSCTL_DISMOUNT_VOLUME);
}

const char* DriveAccessHint(bool writing) {
    // Writing a drive needs an elevated prompt; reading it usually does not, unless a policy
    // keeps removable drives from ordinary users, which an elevated prompt is not bound by.
    return writing ? "Run the command prompt as administrator to write a diskette."
                   : "Run the command prompt as administrator.";
}

}  // namespace platform
