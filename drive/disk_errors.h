// Texts for the error codes that failed drive and file operations leave in the thread's
// last-error value, and the message box that shows them.
#pragma once

#include <string>

#include "platform/win_types.h"

// Bit 29 marks a code made by Tavrel itself; no system code carries it.
constexpr DWORD DISK_ERROR_FLAG = 0x20000000u;

constexpr int kDriverStatusCount = 45;
constexpr int kDosDiskErrorCount = 14;
extern const char* const g_driverStatusText[kDriverStatusCount];
extern const char* const g_dosDiskErrorText[kDosDiskErrorCount];

// Index 13 of the DOS table: a refused Windows 95 volume lock or unlock.
constexpr DWORD kLockRefusedCode = DISK_ERROR_FLAG + 13;
// Index 8 of the DOS table: a transfer that ran past the end of the medium.
constexpr DWORD kSectorNotFoundCode = DISK_ERROR_FLAG + 8;

// A volume lock refused because a window or program still uses the drive; the drive's index
// (0 for A:) is added, so that the text can name it.
constexpr DWORD kVolumeInUseCode = DISK_ERROR_FLAG + 0x100000;

// The text ReportDiskError shows for a code: from the driver table while the own driver is in
// use, from the DOS table otherwise, or the system's text for codes without the flag (with the
// note the failure left for its code, see platform/last_error_note.h).
std::string DiskErrorText(DWORD code, BOOL driverLoaded);

// Shows DiskErrorText for the calling thread's last-error value in a message box owned by
// owner, with caption and the error icon.
void ReportDiskError(Window* owner, const char* caption, BOOL driverLoaded);

// What a job says when the drive behind its letter does not open, for the code in the calling
// thread's last-error value: "Cannot find the drive specified." when no drive is there;
// otherwise the system's reason under the disk errors' caption, and where access was denied,
// what the user can do about it (writing a drive needs more rights than reading it).
void ReportDriveOpenError(Window* owner, bool writing);
