// Files, volumes and devices are the system's: CreateFileA, ReadFile, DeviceIoControl and the rest.
#pragma once

#include "platform/win_types.h"
// after windows.h, whose types it uses
#include <winioctl.h>

namespace platform {

// The system's CreateFileA, but gentler with the programs that look at a fresh file: a file
// opened only for reading lets others read it too, and a refusal because another process has the
// file open (the virus scanner, the search indexer, a cloud folder's client) is tried again a
// few times over about two seconds before it stands.
HANDLE CreateFileShared(const char* path, DWORD access, DWORD shareMode,
                        SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                        HANDLE templateFile);

}  // namespace platform

// Every file the program opens by name goes through it.
#define CreateFileA ::platform::CreateFileShared
