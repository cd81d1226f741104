#include "platform/medium_geometry.h"

// After windows.h, whose types it uses.
#include <winioctl.h>

namespace platform {

bool QueryMediumGeometry(HANDLE volume, MediumGeometry* geometry) {
    *geometry = MediumGeometry{};
    DISK_GEOMETRY disk{};
    DWORD returned = 0;
    if (DeviceIoControl(volume, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &disk, sizeof disk,
                        &returned, nullptr)) {
        // Unknown: the driver could not make the medium's format out, and its figures are
        // the drive's, not the diskette's.
        if (disk.MediaType == Unknown || returned < sizeof disk) return false;
        geometry->cylinders = disk.Cylinders.QuadPart;
        geometry->heads = static_cast<long>(disk.TracksPerCylinder);
        geometry->sectorsPerTrack = static_cast<long>(disk.SectorsPerTrack);
        geometry->bytesPerSector = static_cast<long>(disk.BytesPerSector);
        return true;
    }
    // Only a handle that is no device at all refuses the request as unknown to it: an image
    // file standing in for a drive, whose size is the diskette's. A drive that fails it
    // otherwise (no medium, a format it cannot read) tells nothing.
    const DWORD code = GetLastError();
    if (code != ERROR_INVALID_FUNCTION && code != ERROR_NOT_SUPPORTED &&
        code != ERROR_INVALID_PARAMETER)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(volume, &size) || size.QuadPart <= 0) return false;
    geometry->bytes = size.QuadPart;
    return true;
}

}  // namespace platform
