#include <string>

#include "platform/drive_map.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"

namespace platform {
namespace {

// What the drive map gives for the letter, or the system's own drive of it; an image file
// is whatever is not in the device namespace.
std::string DrivePath(char letter, bool* imageFile) {
    std::string path = ResolveDriveLetter(letter);
    if (path.empty()) path = std::string("\\\\.\\") + letter + ":";
    *imageFile = path.rfind("\\\\.\\", 0) != 0;
    return path;
}

}  // namespace

HANDLE OpenDriveVolume(char letter, DWORD access, DWORD shareMode) {
    bool imageFile = false;
    const std::string path = DrivePath(letter, &imageFile);
    return CreateFileA(path.c_str(), access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL LockDriveVolume(HANDLE volume, char letter, bool lock) {
    bool imageFile = false;
    DrivePath(letter, &imageFile);
    if (!imageFile) {
        // Windows wants somewhere to put the byte count when there is no OVERLAPPED.
        DWORD returned = 0;
        return DeviceIoControl(volume, lock ? FSCTL_LOCK_VOLUME : FSCTL_UNLOCK_VOLUME, nullptr, 0,
                               nullptr, 0, &returned, nullptr);
    }
    // A file system refuses the volume lock on a file. The whole file locked, as far as any
    // file may grow, keeps other programs from reading or writing it while the job runs.
    OVERLAPPED from{};
    if (!lock) return UnlockFileEx(volume, 0, MAXDWORD, MAXDWORD, &from);
    return LockFileEx(volume, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                      MAXDWORD, &from);
}

}  // namespace platform
