// Files, volumes and devices are the system's: CreateFileA, ReadFile, DeviceIoControl and the rest.
// The path calls the project makes by their A names go to the wide calls with the path as
// UTF-8: the A calls read it in the ANSI code page wherever the manifest's UTF-8 code page is not
// honoured (before Windows 10 1903), and stop at MAX_PATH without longPathAware.
#pragma once

#include "platform/win_types.h"
// after windows.h, whose types it uses
#include <winioctl.h>

#include "platform/windows/wide_path.h"

namespace platform {

// The system's CreateFileW for a UTF-8 path at any length, and gentler with the programs that
// look at a fresh file: a file opened only for reading lets others read it too, and a refusal
// because another process has the file open (the virus scanner, the search indexer, a cloud
// folder's client) is tried again a few times over about two seconds before it stands.
HANDLE CreateFileShared(const char* path, DWORD access, DWORD shareMode,
                        SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                        HANDLE templateFile);

inline BOOL DeleteFileUtf8(const char* path) {
    return DeleteFileW(SystemPath(path).c_str());
}

inline DWORD GetFileAttributesUtf8(const char* path) {
    return GetFileAttributesW(SystemPath(path).c_str());
}

}  // namespace platform

// Every file the program opens by name goes through these.
#define CreateFileA ::platform::CreateFileShared
#define DeleteFileA ::platform::DeleteFileUtf8
#define GetFileAttributesA ::platform::GetFileAttributesUtf8
