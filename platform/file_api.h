// Files, raw volumes and devices behind CreateFileA.
//
// "\\.\X:" opens the drive that the drive map gives for letter X (a block device or a regular
// file holding a raw sector image); "\\.\NAME" opens a device registered in this process;
// anything else is an ordinary file path.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* bytesWritten, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFileA(const char* path);

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytesReturned, void* overlapped);

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x40;
DWORD GetFileAttributesA(const char* path);

namespace platform {
// Codes a drive leaves where the driver's own would not tell a diskette user what happened
// (an empty floppy drive fails with ENXIO or EIO, a write-protected diskette with EROFS, whose
// text speaks of a file system, a bad sector on a USB drive with ENODATA, "No data available").
// Above every errno value; FormatMessageA has their texts.
constexpr DWORD kVolumeWriteProtected = 0x10000u + 30u;  // EROFS
constexpr DWORD kVolumeNoMedium = 0x10000u + 123u;       // ENOMEDIUM
constexpr DWORD kVolumeBadSector = 0x10000u + 61u;       // ENODATA
// Calls visit with the name of each entry of a folder (not "." and ".."); false when the folder
// cannot be read.
bool ForEachFolderEntry(const std::string& folder,
                        const std::function<void(const char* name)>& visit);
// A file handle that owns fd, an open regular file at path, for the access given.
HANDLE AdoptFileDescriptor(int fd, const std::string& path, DWORD access);
// The descriptor behind a file handle; -1 for any other handle.
int FileDescriptorOf(HANDLE file);

// What a volume handle is backed by; for tests and for the console tool's drive listing.
struct VolumeInfo {
    bool isBlockDevice = false;
    bool readOnly = false;
    bool directIo = false;
    long long size = 0;
};
bool QueryVolumeInfo(HANDLE volume, VolumeInfo* info);
}  // namespace platform
