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

inline HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD shareMode,
                             SECURITY_ATTRIBUTES* security, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile) {
    return CreateFileW(SystemPath(path).c_str(), access, shareMode, security, creationDisposition,
                       flagsAndAttributes, templateFile);
}

inline BOOL DeleteFileUtf8(const char* path) {
    return DeleteFileW(SystemPath(path).c_str());
}

inline DWORD GetFileAttributesUtf8(const char* path) {
    return GetFileAttributesW(SystemPath(path).c_str());
}

}  // namespace platform

#define CreateFileA platform::CreateFileUtf8
#define DeleteFileA platform::DeleteFileUtf8
#define GetFileAttributesA platform::GetFileAttributesUtf8
