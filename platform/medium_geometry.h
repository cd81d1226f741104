// What the drive's driver knows of the medium in it without reading a sector: its physical
// format, which holds even when the boot sector that states it cannot be read.
#pragma once

#include "platform/win_types.h"

namespace platform {

struct MediumGeometry {
    long long cylinders = 0;  // 0 when the driver gave only the size
    long heads = 0;
    long sectorsPerTrack = 0;
    long bytesPerSector = 0;
    long long bytes = 0;  // 0 when the driver gave only the layout
};

// The floppy driver's layout of the medium (the Windows drive-geometry request, Linux's
// FDGETPRM); for another device or an image file standing in for a drive, only its size.
// False when nothing is known: no such driver call, no medium, a format the driver could not
// make out.
bool QueryMediumGeometry(HANDLE volume, MediumGeometry* geometry);

}  // namespace platform
