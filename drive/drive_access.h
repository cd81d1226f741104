// The only road from a job to the diskette: whole sectors of one track side at a time (or a
// run of them, for a rescue), the boot sector, and the volume lock, through one of four
// back-ends chosen afresh for every transfer from the job's flags.
#pragma once

#include "drive/disk_format.h"
#include "platform/win_types.h"

enum class DriveBackend { NtVolume, OwnDriver, Vwin32Extended, Vwin32Absolute };

// The job's devices and flags, as they stand at the moment of a call.
struct DriveContext {
    BOOL isNT = FALSE;
    BOOL driverLoaded = FALSE;
    BOOL useExtendedAccess = FALSE;
    HANDLE hVolume = INVALID_HANDLE_VALUE;
    HANDLE hDriver = INVALID_HANDLE_VALUE;
    HANDLE hVwin32 = INVALID_HANDLE_VALUE;
};

DriveBackend SelectDriveBackend(const DriveContext& drive);
const char* DriveBackendName(DriveBackend backend);

// First logical sector of the track side: count x (head + heads x cylinder), 32-bit unsigned.
// heads is the diskette's: 1 for the single-sided diskettes of the first PCs.
DWORD StartSector(WORD head, WORD cylinder, WORD count, WORD heads = 2);

// count x 512 bytes of the track side (cylinder, head); capacity is what the caller knows of
// the buffer's size. 0 on failure with the code in the thread's last-error value.
BOOL ReadSectors(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder, WORD count,
                 void* buffer, DWORD capacity, WORD heads = 2);
BOOL WriteSectors(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder, WORD count,
                  void* buffer, DWORD capacity, WORD heads = 2);
// count x 512 bytes from sector first (0 = the side's first) of the track side (cylinder, head)
// of a diskette with sectorsPerTrack sectors a side; buffer holds them. Same back-ends and
// errors as ReadSectors, which it equals for first 0 and a whole side.
BOOL ReadSectorRange(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder,
                     WORD sectorsPerTrack, WORD first, WORD count, void* buffer, WORD heads = 2);

BOOL LockVolume(const DriveContext& drive, WORD driveIndex, BYTE lockLevel, WORD permissions,
                BOOL extended);
BOOL UnlockVolume(const DriveContext& drive, WORD driveIndex, BOOL extended);
// NT: after the writes, while the volume is still locked, makes the system's file system forget
// the diskette it had cached. Windows 95 has no such call: nothing is done there.
BOOL DismountVolume(const DriveContext& drive, WORD driveIndex);

// The medium's layout as the drive's driver knows it, without reading a sector, and the
// drive's size in bytes (0 when unknown). False when the driver tells nothing that is a
// diskette's layout. Windows 95's back-ends have no such request: always false there.
bool DriveFormat(const DriveContext& drive, DiskFormat* format, long long* bytes = nullptr);

// Windows 95: nonzero when VWIN32 carries out an extended (7305h) read of sector 0 at all,
// whatever the DOS call itself returned.
BOOL ProbeExtendedAccess(HANDLE hVwin32, WORD driveIndex, void* bootSector);
// Windows 95: tells the own driver that the job is over.
BOOL ReleaseDriver(HANDLE hDriver, WORD driveIndex);
